// The main window on the offscreen platform: look, keyboard, and the workflow
// ①②③ against real workbooks.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

#include "about/About.h"
#include "app/Main.h"
#include "app/look.h"
#include "fake_dialogs.h"
#include "workbook/check.h"
#include "workbook/workbook.h"

using zembrix::test::FakeDialogs;
using zembrix::test::ShownDialog;
using Kind = ShownDialog::Kind;

namespace {

std::vector<char> fileBytes(const QString& path) {
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PaintCounter : public QObject {
public:
    explicit PaintCounter(int& paints) : paints_(paints) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints_;
        return QObject::eventFilter(watched, event);
    }

private:
    int& paints_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeDialogs> dialogs_;
    std::unique_ptr<zembrix::TMainForm> form_;
    std::unique_ptr<QTemporaryDir> dir_;

    // A fixture copied to the temporary folder, so that saving cannot touch the original.
    QString copyOf(const char* fixture) {
        const QString target = dir_->filePath(QString::fromUtf8(fixture));
        QFile::remove(target);
        if (!QFile::copy(QStringLiteral(ZEMBRIX_FIXTURE_DIR "/") + QString::fromUtf8(fixture), target)) return {};
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }
    void press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    QString lastText() const { return dialogs_->shown.empty() ? QString() : dialogs_->shown.back().text; }
    Kind lastKind() const { return dialogs_->shown.back().kind; }
    // ① with the file dialog answering `path`.
    void open(const QString& path) {
        dialogs_->answers.push_back(path);
        press(form_->OpenBtn);
    }

private slots:
    void init() {
        QCoreApplication::setApplicationName(zembrix::kApplicationTitle);
        dialogs_ = std::make_unique<FakeDialogs>();
        form_ = std::make_unique<zembrix::TMainForm>(*dialogs_);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() {
        form_.reset();
        dialogs_.reset();
        dir_.reset();
    }

    void captionSizeAndFont() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("ZembrixV1.0-[功能:学校尽量打乱,男女生尽量交叉.]-作者:Tovrin"));
        QCOMPARE(form_->size(), QSize(615, 423));
        QCOMPARE(form_->minimumSize(), QSize(615, 423));
        QCOMPARE(form_->maximumSize(), QSize(615, 423));
        const Qt::WindowFlags flags = form_->windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(form_->font().pixelSize(), 12);
        QCOMPARE(form_->font().families().front(), QStringLiteral("宋体"));
        // Without SimSun the Song face falls back to the Ming face of AR PL UMing.
        const QString family = QFontInfo(form_->OpenBtn->font()).family();
        QVERIFY2(family.contains(QStringLiteral("UMing")) || family == QStringLiteral("SimSun") ||
                     family == QStringLiteral("宋体"),
                 qPrintable(family));
    }

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        const QString panel = QStringLiteral("Panel1");
        const QString window = QStringLiteral("MainForm");
        QTest::newRow("Panel1") << "Panel1" << window << QRect(0, 0, 615, 387) << "";
        QTest::newRow("Image1") << "Image1" << panel << QRect(7, 9, 101, 368) << "";
        QTest::newRow("Bevel1") << "Bevel1" << panel << QRect(7, 8, 101, 370) << "";
        QTest::newRow("GroupBox01") << "GroupBox01" << panel << QRect(114, 3, 494, 164) << "文件样式";
        QTest::newRow("Image2") << "Image2" << "GroupBox01" << QRect(6, 12, 481, 145) << "";
        QTest::newRow("OpenBtn") << "OpenBtn" << panel << QRect(190, 171, 89, 25) << "①打开文件";
        QTest::newRow("CheckBtn") << "CheckBtn" << panel << QRect(307, 171, 89, 25) << "②格式检测";
        QTest::newRow("ExecuteBtn") << "ExecuteBtn" << panel << QRect(425, 171, 89, 25) << "③执行编排";
        QTest::newRow("GroupBox02") << "GroupBox02" << panel << QRect(115, 196, 494, 164) << "生成样式";
        QTest::newRow("Image3") << "Image3" << "GroupBox02" << QRect(6, 13, 481, 145) << "";
        QTest::newRow("ProgressBar1") << "ProgressBar1" << panel << QRect(115, 362, 494, 16) << "";
        QTest::newRow("AboutBtn") << "AboutBtn" << window << QRect(222, 393, 75, 25) << "关于(&A)";
        QTest::newRow("CloseBtn") << "CloseBtn" << window << QRect(318, 393, 75, 25) << "退出(&C)";
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* widget = form_->findChild<QWidget*>(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget)) QCOMPARE(button->text(), text);
        if (auto* box = qobject_cast<QGroupBox*>(widget)) QCOMPARE(box->title(), text);
    }

    void pictures() {
        // The side banner is 101 x 420, squeezed into its 101 x 368 control.
        QCOMPARE(form_->Image1->pixmap().size(), QSize(101, 420));
        QVERIFY(form_->Image1->hasScaledContents());
        for (QLabel* sample : {form_->Image2, form_->Image3}) {
            QCOMPARE(sample->pixmap().size(), QSize(481, 145));
            QVERIFY(!sample->hasScaledContents());
        }
        QVERIFY(form_->Image2->pixmap().toImage() != form_->Image3->pixmap().toImage());
        // Two images per glyph, normal and greyed; the lower-left pixel's colour is transparent.
        for (auto [button, size] : {std::pair{form_->AboutBtn, 16}, std::pair{form_->CloseBtn, 18}}) {
            QCOMPARE(button->iconSize(), QSize(size, size));
            const QImage normal = button->icon().pixmap(size, size).toImage();
            const QImage greyed = button->icon().pixmap(size, size, QIcon::Disabled).toImage();
            QCOMPARE(normal.size(), QSize(size, size));
            QCOMPARE(qAlpha(normal.pixel(0, size - 1)), 0);
            QCOMPARE(qAlpha(greyed.pixel(0, size - 1)), 0);
            QVERIFY(qAlpha(normal.pixel(size / 2, size / 2)) != 0);
            QVERIFY(normal != greyed);
        }
    }

    void progressBar() {
        QProgressBar* bar = form_->ProgressBar1;
        QVERIFY(!bar->isTextVisible());
        QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
    }

    void tabOrderAndFocus() {
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(QApplication::focusWidget(), form_->OpenBtn);
        const QList<QWidget*> order{form_->CheckBtn, form_->ExecuteBtn, form_->AboutBtn, form_->CloseBtn,
                                    form_->OpenBtn};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // No default button: Enter presses only the button that has the focus.
        for (QPushButton* button : form_->findChildren<QPushButton*>())
            QCOMPARE(button->isDefault(), button->hasFocus());
    }

    void centring_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("half pixel dropped") << QSize(1024, 768) << QSize(621, 452) << QPoint(201, 158);
        QTest::newRow("larger by 3") << QSize(800, 600) << QSize(803, 603) << QPoint(-1, -1);
        QTest::newRow("exact") << QSize(1280, 1024) << QSize(615, 423) << QPoint(332, 300);
        QTest::newRow("larger by 1") << QSize(100, 100) << QSize(101, 90) << QPoint(0, 5);
    }
    void centring() {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        QFETCH(QPoint, expected);
        QCOMPARE(zembrix::CentredPosition(screen, window), expected);
    }

    void shownCentred() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QSize outer = form_->frameGeometry().size();
        QCOMPARE(form_->frameGeometry().topLeft(), zembrix::CentredPosition(screen.size(), outer) + screen.topLeft());
    }

    void openDialogFilter() {
        QFileDialog* dialog = form_->OpenDialog;
        QCOMPARE(dialog->objectName(), QStringLiteral("OpenDialog"));
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Microsoft Excel 成绩工作簿(*.xls)")});
        for (const char* name : {"a.xls", "B.XLS", "c.Xls", "d.txt", "e.xlsx"}) {
            QFile file(dir_->filePath(QString::fromUtf8(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        dialog->setDirectory(dir_->path());
        auto* model = dialog->findChild<QFileSystemModel*>();
        QVERIFY(model != nullptr);
        const QModelIndex root = model->index(dir_->path());
        QTRY_COMPARE(model->rowCount(root), 3);
        QStringList listed;
        for (int row = 0; row < model->rowCount(root); ++row) listed << model->index(row, 0, root).data().toString();
        listed.sort();
        QCOMPARE(listed, (QStringList{"B.XLS", "a.xls", "c.Xls"}));
    }

    void refusalsOutOfOrder() {
        press(form_->CheckBtn);
        press(form_->ExecuteBtn);
        QCOMPARE(dialogs_->shown.size(), std::size_t{2});
        QCOMPARE(dialogs_->shown[0].kind, Kind::Warning);
        QCOMPARE(dialogs_->shown[0].text, QStringLiteral("请先打开文件！"));
        QCOMPARE(dialogs_->shown[1].text, QStringLiteral("请先进行格式检测！"));
        QVERIFY(form_->excelApp() == nullptr);
        QVERIFY(!form_->checkPassed());
        QCOMPARE(dialogs_->fileDialogs, 0);
    }

    void openCheckArrangeSaves() {
        const QString path = copyOf("roster_xlwt.xls");
        open(path);
        QVERIFY(dialogs_->shown.empty());
        QVERIFY(form_->excelApp() != nullptr);
        QCOMPARE(form_->fileName(), path);
        QVERIFY(!form_->checkPassed());
        // Open does not check: ③ still refuses.
        press(form_->ExecuteBtn);
        QCOMPARE(lastText(), QStringLiteral("请先进行格式检测！"));

        press(form_->CheckBtn);
        QCOMPARE(lastText(), QStringLiteral("格式检测成功！"));
        QVERIFY(form_->checkPassed());
        QCOMPARE(form_->recordCount(), 40);

        press(form_->ExecuteBtn);
        QCOMPARE(lastKind(), Kind::Warning);
        QCOMPARE(lastText(), QStringLiteral("考号编排成功！"));
        QCOMPARE(form_->ProgressBar1->maximum(), 40);
        QCOMPARE(form_->ProgressBar1->value(), 40);
        QCOMPARE(form_->schoolList().count(), 5);
        QCOMPARE(form_->studentList().upperBound(), 42);

        // Saved in place: another reader of the file sees every candidate numbered.
        auto saved = zembrix::xls::Workbook::open(QFile::encodeName(path).toStdString());
        zembrix::CellSheet& sheet = saved->firstSheet();
        QStringList numbers;
        for (int row = 3; row < 43; ++row) {
            const QString number = QString::fromStdString(sheet.readCell(row, 4));
            QCOMPARE(number.size(), 4);
            QCOMPARE(QString::fromStdString(sheet.readCell(row, 5)), number.left(2));
            QCOMPARE(QString::fromStdString(sheet.readCell(row, 6)), number.right(2));
            numbers << number;
        }
        numbers.sort();
        QCOMPARE(numbers.front(), QStringLiteral("0101"));
        QCOMPARE(numbers.back(), QStringLiteral("0210"));
        QCOMPARE(numbers.removeDuplicates(), 0);

        // Again without a new check.
        const std::size_t before = dialogs_->shown.size();
        press(form_->ExecuteBtn);
        QCOMPARE(dialogs_->shown.size(), before + 1);
        QCOMPARE(lastText(), QStringLiteral("考号编排成功！"));
        QVERIFY(form_->checkPassed());
    }

    // The arrangement runs without the event loop, so queued input waits, while
    // the progress bar paints itself as it moves.
    void progressShowsWithoutTakingInput() {
        open(copyOf("roster_lo.xls"));
        press(form_->CheckBtn);
        QVERIFY(form_->checkPassed());
        int paints = 0;
        PaintCounter counter(paints);
        form_->ProgressBar1->installEventFilter(&counter);
        bool queuedRan = false;
        QTimer::singleShot(0, form_.get(), [&] { queuedRan = true; });
        form_->ExecuteBtnClick(form_->ExecuteBtn);
        const int paintsDuringRun = paints;
        QVERIFY(!queuedRan);
        QVERIFY2(paintsDuringRun >= 10, qPrintable(QString::number(paintsDuringRun)));
        QCOMPARE(form_->ProgressBar1->value(), 45);
        QCOMPARE(lastText(), QStringLiteral("考号编排成功！"));
        QTRY_VERIFY(queuedRan);
        form_->ProgressBar1->removeEventFilter(&counter);
    }

    void failedCheckKeepsItsMessage() {
        open(copyOf("wrong_sex.xls"));
        press(form_->CheckBtn);
        QCOMPARE(lastKind(), Kind::Warning);
        QCOMPARE(lastText(), QString::fromStdString(zembrix::WrongSexMessage(7)));
        QVERIFY(!form_->checkPassed());
        press(form_->ExecuteBtn);
        QCOMPARE(lastText(), QStringLiteral("请先进行格式检测！"));
    }

    void openingAgainClearsCheck() {
        open(copyOf("roster_xlwt.xls"));
        press(form_->CheckBtn);
        QVERIFY(form_->checkPassed());
        const QString other = copyOf("roster_lo.xls");
        open(other);
        QCOMPARE(form_->fileName(), other);
        QVERIFY(!form_->checkPassed());
        press(form_->ExecuteBtn);
        QCOMPARE(lastText(), QStringLiteral("请先进行格式检测！"));
        press(form_->CheckBtn);
        QCOMPARE(form_->recordCount(), 45);
    }

    void cancelledDialogKeepsState() {
        const QString path = copyOf("roster_xlwt.xls");
        open(path);
        press(form_->CheckBtn);
        const zembrix::xls::Workbook* book = form_->excelApp();
        press(form_->OpenBtn);   // no answer queued: cancelled
        QCOMPARE(dialogs_->fileDialogs, 2);
        QCOMPARE(form_->excelApp(), book);
        QCOMPARE(form_->fileName(), path);
        QVERIFY(form_->checkPassed());
    }

    void failedOpenKeepsWorkbook() {
        open(copyOf("roster_xlwt.xls"));
        press(form_->CheckBtn);
        const zembrix::xls::Workbook* book = form_->excelApp();
        zembrix::CellSheet* sheet = form_->workSheet();
        const QString bad = copyOf("not_xls_csv.xls");
        open(bad);
        QCOMPARE(lastKind(), Kind::Failure);
        try {
            zembrix::xls::Workbook::open(QFile::encodeName(bad).toStdString());
            QFAIL("a CSV file opened as a workbook");
        } catch (const zembrix::xls::WorkbookError& e) {
            QCOMPARE(lastText(), QString::fromUtf8(e.what()));
        }
        QCOMPARE(form_->excelApp(), book);
        QCOMPARE(form_->workSheet(), sheet);
        QVERIFY(form_->checkPassed());
        // The confirmed name is taken at once, as the dialog confirmed it.
        QCOMPARE(form_->fileName(), bad);
        press(form_->ExecuteBtn);
        QCOMPARE(lastText(), QStringLiteral("考号编排成功！"));
    }

    void failedFirstOpenLeavesNothingToCheck() {
        open(copyOf("not_xls_csv.xls"));
        QCOMPARE(lastKind(), Kind::Failure);
        press(form_->CheckBtn);
        QCOMPARE(lastKind(), Kind::Warning);
        QCOMPARE(lastText(), QStringLiteral("请先打开文件！"));
    }

    void failedSaveIsReportedAndCanRunAgain() {
        const QString path = copyOf("roster_xlwt.xls");
        open(path);
        press(form_->CheckBtn);
        // Another program rewrites the file: the save refuses to overwrite it.
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(QStringLiteral(ZEMBRIX_FIXTURE_DIR "/roster_lo.xls"), path));
        const std::vector<char> other = fileBytes(path);
        press(form_->ExecuteBtn);
        QCOMPARE(lastKind(), Kind::Failure);
        QVERIFY(!lastText().isEmpty());
        QVERIFY(form_->excelApp() != nullptr);
        QVERIFY(form_->checkPassed());
        QCOMPARE(fileBytes(path), other);
        const std::size_t before = dialogs_->shown.size();
        press(form_->ExecuteBtn);
        QCOMPARE(dialogs_->shown.size(), before + 1);
        QCOMPARE(lastKind(), Kind::Failure);
    }

    void closingWithoutOpening() {
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QVERIFY(dialogs_->shown.empty());
        QVERIFY(form_->excelApp() == nullptr);
        QCOMPARE(form_->schoolList().count(), 0);
    }

    void closingDropsUnsavedChanges() {
        const QString path = copyOf("roster_xlwt.xls");
        open(path);
        press(form_->CheckBtn);
        press(form_->ExecuteBtn);
        const std::vector<char> arranged = fileBytes(path);
        // The check empties D..F in memory only; closing must not save that.
        press(form_->CheckBtn);
        QCOMPARE(QString::fromStdString(form_->workSheet()->readCell(3, 4)), QString());
        press(form_->CloseBtn);
        QVERIFY(!form_->isVisible());
        QVERIFY(form_->excelApp() == nullptr);
        QVERIFY(form_->workSheet() == nullptr);
        QCOMPARE(form_->schoolList().count(), 0);
        QCOMPARE(form_->studentList().upperBound(), 0);
        QCOMPARE(fileBytes(path), arranged);
    }

    void altAOpensAboutAltCCloses() {
        zembrix::TAboutForm about;
        zembrix::AboutForm = &about;
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        // The mnemonic clicks a moment later, and the About window then runs modally:
        // answer it from a timer that runs inside its event loop.
        bool aboutWasShown = false;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, &about, [&] {
            if (!about.isVisible()) return;
            aboutWasShown = about.isModal();
            about.BitBtn1->click();
        });
        answer.start();
        QTest::keySequence(form_.get(), QKeySequence(QStringLiteral("Alt+A")));
        QTRY_VERIFY(aboutWasShown);
        QTRY_VERIFY(!about.isVisible());
        answer.stop();
        zembrix::AboutForm = nullptr;
        QVERIFY(form_->isVisible());
        QVERIFY(dialogs_->shown.empty());

        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QTest::keySequence(form_.get(), QKeySequence(QStringLiteral("Alt+C")));
        QTRY_VERIFY(!form_->isVisible());
    }

    void failureTextFullStopRule_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "disk full" << "disk full.";
        QTest::newRow("full stop") << "disk full." << "disk full.";
        QTest::newRow("exclamation") << "disk full!" << "disk full!";
        QTest::newRow("space") << "disk full " << "disk full ";
        QTest::newRow("colon is above the full stop") << "disk:" << "disk:.";
        QTest::newRow("Chinese full stop is not single-byte") << "文件已损坏。" << "文件已损坏。.";
        QTest::newRow("empty") << "" << ".";
    }
    void failureTextFullStopRule() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(zembrix::FailureText(message), shown);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
