#include "about/About.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include "app/look.h"

namespace zembrix {

TAboutForm* AboutForm = nullptr;

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }),
      memorySource_(&QueryMemoryStatus) {
    setupUi(this);
    setFont(SongFont(12));
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    setPalette(black);
    setFixedSize(330, 225);
    ProductName->setFont(SongFont(14));
    for (QLabel* link : {LabelEmail, Labelhttp}) {
        QPalette blue = link->palette();
        blue.setColor(QPalette::WindowText, Qt::blue);
        link->setPalette(blue);
        link->installEventFilter(this);
    }
    for (QLabel* label : findChildren<QLabel*>()) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BitBtn1->setIcon(GlyphIcon(QStringLiteral(":/pictures/glyph_ok.bmp")));
    BitBtn1->setIconSize(QSize(18, 18));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    FormCreate(this);
}

void TAboutForm::FormCreate(QObject*) {
    ProductName->setText(kApplicationTitle);
    LabelDH->setText(QStringLiteral("手  机：") + kContactPhone);
    LabelDW->setText(QStringLiteral("单  位：") + kContactUnit);
    LabelEmail->setText(kContactEmail);
    Labelhttp->setText(kWebAddress);
}

void TAboutForm::FormShow(QObject*) {
    centring_.centre(*this);
    ProgramIcon->setPixmap(MainIcon().pixmap(32, 32));
    ProgramIcon->adjustSize();
    const MemoryStatus status = memorySource_();
    PhysMem->setText(PhysMemText(status.totalBytes, QLocale()));
    PhysMem->adjustSize();
    FreeRes->setText(MemoryLoadText(status.loadPercent));
    FreeRes->adjustSize();
    BitBtn1->setFocus();
}

void TAboutForm::LabelEmailClick(QObject*) {
    openUrl_(QUrl(QStringLiteral("mailto:") + LabelEmail->text()));
}

void TAboutForm::LabelhttpClick(QObject*) {
    openUrl_(QUrl(kWebAddress));
}

void TAboutForm::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    centring_.frameMayHaveChanged(*this);
}

void TAboutForm::showEvent(QShowEvent* event) {
    // Restoring after minimising is not a new showing.
    if (!event->spontaneous()) FormShow(this);
    QDialog::showEvent(event);
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
    // No cancel button: Escape does nothing.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == LabelEmail) LabelEmailClick(watched);
        else if (watched == Labelhttp) LabelhttpClick(watched);
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace zembrix
