#pragma once
// The main window: the three workflow buttons, the sample pictures, the progress
// bar, and all the state of the user's work.
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "app/dialogs.h"
#include "app/look.h"
#include "arrange/sheet.h"
#include "arrange/tables.h"
#include "ui_main.h"
#include "workbook/workbook.h"

class QFileDialog;

namespace zembrix {

// The caption after the application title, with no separator between them.
inline const QString kCaptionTail = QStringLiteral("V1.0-[功能:学校尽量打乱,男女生尽量交叉.]-作者:Tovrin");

class TMainForm : public QWidget, private Ui::MainForm {
    Q_OBJECT
public:
    // dialogs answers every message box and the file dialog; it must outlive the window.
    explicit TMainForm(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMainForm() override;

    using Ui::MainForm::AboutBtn;
    using Ui::MainForm::Bevel1;
    using Ui::MainForm::CheckBtn;
    using Ui::MainForm::CloseBtn;
    using Ui::MainForm::ExecuteBtn;
    using Ui::MainForm::GroupBox01;
    using Ui::MainForm::GroupBox02;
    using Ui::MainForm::Image1;
    using Ui::MainForm::Image2;
    using Ui::MainForm::Image3;
    using Ui::MainForm::OpenBtn;
    using Ui::MainForm::Panel1;
    using Ui::MainForm::ProgressBar1;
    QFileDialog* OpenDialog = nullptr;

    void FormCreate(QObject* sender);
    void FormShow(QObject* sender);
    void OpenBtnClick(QObject* sender);
    void CheckBtnClick(QObject* sender);
    void ExecuteBtnClick(QObject* sender);
    void AboutBtnClick(QObject* sender);
    void CloseBtnClick(QObject* sender);
    // CanClose arrives true and stays true: closing always drops the workbook unsaved.
    void FormCloseQuery(QObject* sender, bool& CanClose);

    // The workflow state, for inspection.
    const QString& fileName() const noexcept { return openDialogFileName_; }
    const xls::Workbook* excelApp() const noexcept { return ExcelApp.get(); }
    CellSheet* workSheet() const noexcept { return WorkSheet; }
    std::int32_t recordCount() const noexcept { return RecordCount; }
    bool checkPassed() const noexcept { return CheckPassed; }
    const SchoolTable& schoolList() const noexcept { return SchoolList; }
    const StudentTable& studentList() const noexcept { return StudentList; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    ShowCentring centring_;
    Dialogs& dialogs_;
    // OpenDialog's file name: the workbook the user last confirmed.
    QString openDialogFileName_;
    std::unique_ptr<xls::Workbook> ExcelApp;
    CellSheet* WorkSheet = nullptr;   // first worksheet of ExcelApp
    std::int32_t RecordCount = 0;
    bool CheckPassed = false;
    SchoolTable SchoolList;
    StudentTable StudentList;
};

// The single main window; closing it ends the program.
extern TMainForm* MainForm;

}  // namespace zembrix
