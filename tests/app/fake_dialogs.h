#pragma once
// Answers the windows' dialogs in tests and records what they showed.
#include <deque>
#include <optional>
#include <vector>

#include <QString>

#include "app/dialogs.h"

namespace zembrix::test {

struct ShownDialog {
    enum class Kind { Warning, Error, Failure };
    Kind kind;
    QString text;
};

class FakeDialogs final : public Dialogs {
public:
    void warning(QWidget*, const QString& text) override { shown.push_back({ShownDialog::Kind::Warning, text}); }
    void error(QWidget*, const QString& text) override { shown.push_back({ShownDialog::Kind::Error, text}); }
    void failure(QWidget*, const QString& text) override { shown.push_back({ShownDialog::Kind::Failure, text}); }
    std::optional<QString> chooseFile(QFileDialog&) override {
        ++fileDialogs;
        if (answers.empty()) return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The file dialog's next answers; nothing means the user cancelled.
    std::deque<std::optional<QString>> answers;
    std::vector<ShownDialog> shown;
    int fileDialogs = 0;
};

}  // namespace zembrix::test
