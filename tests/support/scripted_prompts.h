#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

#include "engine/user_prompts.h"

// Answers every question from a script and records what was asked. An
// unscripted question is answered with Cancel, so no test ever blocks.
class ScriptedPrompts : public UserPrompts {
public:
    QStringList messages;
    QStringList warnings;
    std::vector<FileQuestion> openQuestions;
    std::vector<FileQuestion> saveQuestions;
    QStringList addressPrompts;
    QStringList keepQuestions;
    QStringList informations;

    std::deque<bool> warningAnswers;
    std::deque<Keep> keepAnswers;
    std::deque<std::optional<FileAnswer>> openAnswers;
    std::deque<std::optional<FileAnswer>> saveAnswers;
    std::deque<std::optional<ReadOptions>> readOptionAnswers;
    int readOptionQuestions = 0;
    std::deque<std::optional<QString>> addressAnswers;

    void ShowMessage(const QString& text) override { messages << text; }
    bool AskWarning(const QString& text, const QString& caption, Buttons) override {
        warnings << caption + ": " + text;
        return Next(warningAnswers, false);
    }
    Keep AskSaveDiscard(const QString& text, const QString& caption) override {
        keepQuestions << caption + ": " + text;
        return Next(keepAnswers, Keep::Cancel);
    }
    void ShowInformation(const QString& caption, const QString& text) override {
        informations << caption + ": " + text;
    }
    // Runs while the open dialog is up, as the event loop of a real one would.
    std::function<void()> whileOpenDialogUp;

    std::optional<FileAnswer> AskOpenFile(const FileQuestion& q) override {
        openQuestions.push_back(q);
        if (whileOpenDialogUp) whileOpenDialogUp();
        return Next(openAnswers, std::optional<FileAnswer>{});
    }
    std::optional<FileAnswer> AskSaveFile(const FileQuestion& q) override {
        saveQuestions.push_back(q);
        return Next(saveAnswers, std::optional<FileAnswer>{});
    }

    std::optional<ReadOptions> AskReadOptions() override {
        ++readOptionQuestions;
        return Next(readOptionAnswers, std::optional<ReadOptions>{});
    }

    std::optional<QString> AskAddress(const QString& prompt) override {
        addressPrompts << prompt;
        return Next(addressAnswers, std::optional<QString>{});
    }

private:
    template <typename T>
    static T Next(std::deque<T>& script, T fallback) {
        if (script.empty()) return fallback;
        T answer = script.front();
        script.pop_front();
        return answer;
    }
};
