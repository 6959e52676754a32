# Joins the manual page's head (name, synopsis, options) and the README without its title line into
# one Markdown document; pandoc then lifts every heading one level, so the README's sections become
# the page's sections after DESCRIPTION.
file(READ ${HEAD} head)
file(READ ${README} readme)
string(REGEX REPLACE "^# [^\n]*\n" "" readme "${readme}")
file(WRITE ${OUT} "${head}${readme}")
