// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace corvane::platform {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };
enum class MessageIcon { None, Question };

// Modal message boxes. The window shows real ones; tests and the batch tool answer from a script.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows text in a box titled title with the given buttons (and icon) and returns the button chosen.
    virtual MessageAnswer message(const std::string& text, const std::string& title, MessageButtons buttons,
                                  MessageIcon icon = MessageIcon::None) = 0;
    // Opens an address (a web page or a file:// document) in the user's browser without waiting
    // for it; false when no browser could be started.
    virtual bool openAddress(const std::string& address) = 0;
    // Shows the manual that ships with the program, without waiting for the reader.
    virtual void showManual() = 0;
};

// Answers from a queue (the first button of the box when the queue is empty) and records every box.
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        std::string text;
        std::string title;
        MessageButtons buttons;
        MessageIcon icon = MessageIcon::None;
    };

    MessageAnswer message(const std::string& text, const std::string& title, MessageButtons buttons,
                          MessageIcon icon = MessageIcon::None) override {
        shown.push_back({text, title, buttons, icon});
        if (!answers.empty()) {
            const MessageAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }

    bool openAddress(const std::string& address) override {
        opened.push_back(address);
        return addressOpens;
    }
    void showManual() override { ++manualShown; }

    std::deque<MessageAnswer> answers;
    std::vector<Shown> shown;
    std::vector<std::string> opened;
    bool addressOpens = true; // whether a browser "starts"
    int manualShown = 0;
};

} // namespace corvane::platform
