// The real dialog layer: captions, icons, the one "确定" button, the full-stop
// rule, and the file dialog's answer.
#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "app/dialogs.h"

class DialogsTest : public QObject {
    Q_OBJECT

private:
    // Runs `show` while a timer answers the modal dialog it opens with `answer`.
    template <typename Dialog>
    bool answerModal(const std::function<void()>& show, const std::function<void(Dialog&)>& answer) {
        bool answered = false;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible() || answered) return;
            answered = true;
            answer(*dialog);
        });
        poll.start();
        show();
        return answered;
    }

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Zembrix")); }

    void messageBoxes_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("shown");
        QTest::newRow("warning") << 0 << "请先打开文件！" << "警告" << int{QMessageBox::Warning} << "请先打开文件！";
        QTest::newRow("error") << 1 << "无法启动。" << "错误" << int{QMessageBox::Critical} << "无法启动。";
        QTest::newRow("failure") << 2 << "磁盘已满" << "Zembrix" << int{QMessageBox::Critical} << "磁盘已满.";
        QTest::newRow("failure ending in !") << 2 << "disk full!" << "Zembrix" << int{QMessageBox::Critical}
                                              << "disk full!";
    }
    void messageBoxes() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(int, icon);
        QFETCH(QString, shown);
        zembrix::WidgetDialogs dialogs;
        QString seenCaption;
        QString seenText;
        int seenIcon = -1;
        QStringList buttons;
        const bool answered = answerModal<QMessageBox>(
            [&] {
                if (kind == 0) dialogs.warning(nullptr, text);
                else if (kind == 1) dialogs.error(nullptr, text);
                else dialogs.failure(nullptr, text);
            },
            [&](QMessageBox& box) {
                seenCaption = box.windowTitle();
                seenText = box.text();
                seenIcon = int{box.icon()};
                for (QAbstractButton* button : box.buttons()) buttons << button->text();
                box.buttons().front()->click();
            });
        QVERIFY(answered);
        QCOMPARE(seenCaption, caption);
        QCOMPARE(seenText, shown);
        QCOMPARE(seenIcon, icon);
        QCOMPARE(buttons, QStringList{QStringLiteral("确定")});
    }

    void fileDialogAnswers() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("名单.XLS"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        zembrix::WidgetDialogs dialogs;
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(zembrix::kOpenFilter);
        dialog.setDirectory(dir.path());

        std::optional<QString> chosen;
        QVERIFY(answerModal<QFileDialog>([&] { chosen = dialogs.chooseFile(dialog); },
                                         [&](QFileDialog& shown) {
                                             shown.selectFile(path);
                                             static_cast<QDialog&>(shown).accept();
                                         }));
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, path);

        QVERIFY(answerModal<QFileDialog>([&] { chosen = dialogs.chooseFile(dialog); },
                                         [](QFileDialog& shown) { shown.reject(); }));
        QVERIFY(!chosen.has_value());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
