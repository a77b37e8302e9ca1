#pragma once
// The About window: product, version, contact details, links, memory figures.
#include <QDialog>
#include <QUrl>

#include <functional>

#include "about/memory.h"
#include "app/look.h"
#include "ui_about.h"

namespace zembrix {

// Fictional contact values; nobody answers at these.
inline const QString kContactPhone = QStringLiteral("000-0000-0000");
inline const QString kContactUnit = QStringLiteral("示例单位（虚构）");
inline const QString kContactEmail = QStringLiteral("tovrin@example.com");
inline const QString kWebAddress = QStringLiteral("https://example.com/");

class TAboutForm : public QDialog, private Ui::AboutForm {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Replace the desktop's URL handler and the memory query (tests).
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    void setMemorySource(std::function<MemoryStatus()> source) { memorySource_ = std::move(source); }

    using Ui::AboutForm::BitBtn1;
    using Ui::AboutForm::FreeRes;
    using Ui::AboutForm::LabelDH;
    using Ui::AboutForm::LabelDW;
    using Ui::AboutForm::LabelEmail;
    using Ui::AboutForm::Labelhttp;
    using Ui::AboutForm::PhysMem;
    using Ui::AboutForm::ProductName;
    using Ui::AboutForm::ProgramIcon;

    void FormCreate(QObject* sender);
    void FormShow(QObject* sender);
    void LabelEmailClick(QObject* sender);
    void LabelhttpClick(QObject* sender);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ShowCentring centring_;
    std::function<void(const QUrl&)> openUrl_;
    std::function<MemoryStatus()> memorySource_;
};

// The single About window, created hidden at start-up after the main window.
extern TAboutForm* AboutForm;

}  // namespace zembrix
