#!/usr/bin/perl
# Turns corvane-cli's --help (read from standard input) into the body of its manual page in
# Markdown: "Usage:" is the synopsis, the lines before it the description, the option and command
# lists become definition lists, the column tables and examples stay as they are printed.
use strict;
use warnings;

sub escaped { my $t = shift; $t =~ s/([\\`*_\[\]<>#|])/\\$1/g; return $t; }

my @lines = map { s/\s+$//r } <STDIN>;
my ($synopsis, @description, @sections);
my $current;
for my $line (@lines) {
    if ($line =~ /^Usage:\s*(.*)$/) {
        $synopsis = $1;
        $current = undef;
    } elsif ($line =~ /^Exit status:\s*(.*)$/) {
        push @sections, $current = { title => 'EXIT STATUS', body => [$1], kind => 'text' };
    } elsif ($line =~ /^(\S[^:]*):$/) {
        my $title = uc $1;
        my $kind = $title =~ /^(OPTIONS|SUBCOMMANDS)$/ ? 'list' : $title eq 'FILES' ? 'text' : 'verbatim';
        $title = 'COMMANDS' if $title eq 'SUBCOMMANDS';
        $title = 'CONTROLS' if $title =~ /^CONTROLS/;
        push @sections, $current = { title => $title, body => [], kind => $kind };
    } elsif (defined $current) {
        push @{ $current->{body} }, $line;
    } elsif (!defined $synopsis) {
        push @description, $line;
    }
}
die "no Usage: line in the help\n" unless defined $synopsis;

my $description = join ' ', @description;
$description =~ s/^corvane-cli:\s*//;
print "## SYNOPSIS\n\n**", escaped($synopsis), "**\n\n";
print "## DESCRIPTION\n\n", escaped(ucfirst $description), "\n\n";
for my $s (@sections) {
    my @body = @{ $s->{body} };
    shift @body while @body && $body[0] eq '';
    pop @body while @body && $body[-1] eq '';
    next unless @body;
    print "## $s->{title}\n\n";
    if ($s->{kind} eq 'list') {
        for my $line (@body) {
            if ($line =~ /^\s{1,4}(\S.*?)(?:\s{2,}(\S.*))?$/) {
                print "**", escaped($1), "**\n:   ", escaped($2 // ''), "\n\n";
            }
        }
    } elsif ($s->{kind} eq 'text') {
        print escaped(join(' ', map { s/^\s+//r } @body)), "\n\n";
    } else {
        print "```\n", join("\n", map { s/^  //r } @body), "\n```\n\n";
    }
}
