#include "app/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QShowEvent>

#include <exception>
#include <filesystem>
#include <optional>

#include "about/About.h"
#include "app/look.h"
#include "arrange/engine.h"
#include "workbook/check.h"

namespace zembrix {

TMainForm* MainForm = nullptr;

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Busy cursor for as long as a handler works without taking input.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

TMainForm::TMainForm(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    setupUi(this);
    setFont(SongFont(12));
    setFixedSize(615, 423);

    AboutBtn->setIcon(GlyphIcon(QStringLiteral(":/pictures/glyph_about.bmp")));
    AboutBtn->setIconSize(QSize(16, 16));
    CloseBtn->setIcon(GlyphIcon(QStringLiteral(":/pictures/glyph_close.bmp")));
    CloseBtn->setIconSize(QSize(18, 18));
    Image2->adjustSize();
    Image3->adjustSize();

    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    // Qt's own dialog everywhere: its filter ignores letter case, GTK's does not.
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setNameFilter(kOpenFilter);
    OpenDialog->setFilter(OpenDialog->filter() & ~QDir::CaseSensitive);
    OpenDialog->setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    OpenDialog->setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    OpenDialog->setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
    OpenDialog->setLabelText(QFileDialog::Accept, QStringLiteral("打开(&O)"));
    OpenDialog->setLabelText(QFileDialog::Reject, QStringLiteral("取消"));

    connect(OpenBtn, &QPushButton::clicked, this, [this] { OpenBtnClick(OpenBtn); });
    connect(CheckBtn, &QPushButton::clicked, this, [this] { CheckBtnClick(CheckBtn); });
    connect(ExecuteBtn, &QPushButton::clicked, this, [this] { ExecuteBtnClick(ExecuteBtn); });
    connect(AboutBtn, &QPushButton::clicked, this, [this] { AboutBtnClick(AboutBtn); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(CloseBtn); });
    FormCreate(this);
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate(QObject*) {
    setWindowTitle(QCoreApplication::applicationName() + kCaptionTail);
}

void TMainForm::FormShow(QObject*) {
    centring_.centre(*this);
    openDialogFileName_.clear();
    ProgressBar1->setValue(0);
    CheckPassed = false;
    OpenBtn->setFocus();
}

void TMainForm::OpenBtnClick(QObject*) {
    const std::optional<QString> chosen = dialogs_.chooseFile(*OpenDialog);
    if (!chosen) return;
    openDialogFileName_ = *chosen;
    try {
        std::unique_ptr<xls::Workbook> book =
            xls::Workbook::open(std::filesystem::path(QFile::encodeName(*chosen).toStdString()));
        CellSheet& sheet = book->firstSheet();
        // Only a workbook that opened replaces the one before.
        ExcelApp = std::move(book);
        WorkSheet = &sheet;
        CheckPassed = false;
    } catch (const std::exception& e) {
        dialogs_.failure(this, fromUtf8(e.what()));
    }
}

void TMainForm::CheckBtnClick(QObject*) {
    if (openDialogFileName_.isEmpty() || WorkSheet == nullptr) {
        // A chosen file that never opened counts as none.
        dialogs_.warning(this, QString::fromUtf8(kAskOpenFirst));
        return;
    }
    try {
        const CheckOutcome outcome = CheckFormat(true, *WorkSheet, RecordCount, CheckPassed);
        dialogs_.warning(this, fromUtf8(outcome.message));
    } catch (const std::exception& e) {
        dialogs_.failure(this, fromUtf8(e.what()));
    }
}

void TMainForm::ExecuteBtnClick(QObject*) {
    if (!CheckPassed || WorkSheet == nullptr || !ExcelApp) {
        dialogs_.warning(this, QString::fromUtf8(kAskCheckFirst));
        return;
    }
    Roster roster;
    std::optional<QString> failure;
    {
        const BusyCursor busy;
        try {
            ExecuteArrangement(*WorkSheet, roster, [this](std::int32_t position, std::int32_t maximum) {
                if (maximum > 0 && ProgressBar1->maximum() != maximum) ProgressBar1->setRange(0, maximum);
                // QProgressBar repaints at once when the bar visibly moves; the
                // event loop does not run, so the window takes no input meanwhile.
                ProgressBar1->setValue(position);
            });
            ExcelApp->save();
        } catch (const std::exception& e) {
            failure = fromUtf8(e.what());
        }
    }
    RecordCount = roster.RecordCount;
    SchoolList = std::move(roster.SchoolList);
    StudentList = std::move(roster.StudentList);
    if (failure) {
        dialogs_.failure(this, *failure);
        return;
    }
    dialogs_.warning(this, QString::fromUtf8(kArranged));
}

void TMainForm::AboutBtnClick(QObject*) {
    if (AboutForm != nullptr) AboutForm->exec();
}

void TMainForm::CloseBtnClick(QObject*) {
    close();
}

void TMainForm::FormCloseQuery(QObject*, bool&) {
    // Dropping the workbook drops its unsaved changes; only the arrangement saves.
    WorkSheet = nullptr;
    ExcelApp.reset();
    SchoolList.clear();
    StudentList.clear();
}

void TMainForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    centring_.frameMayHaveChanged(*this);
}

void TMainForm::showEvent(QShowEvent* event) {
    // Restoring after minimising is not a new showing.
    if (!event->spontaneous()) FormShow(this);
    QWidget::showEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool CanClose = true;
    FormCloseQuery(this, CanClose);
    if (CanClose) event->accept();
    else event->ignore();
}

}  // namespace zembrix
