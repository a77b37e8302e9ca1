// Start-up: JPEG support, the application title, the main window, then the
// About window hidden, the event loop, exit code 0.
#include <QApplication>

#include "about/About.h"
#include "app/Main.h"
#include "app/look.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zembrix::RequireJpegSupport();
    // The name only, never a display name: Qt would append that to every caption.
    QApplication::setApplicationName(zembrix::kApplicationTitle);
    QApplication::setWindowIcon(zembrix::MainIcon());

    zembrix::WidgetDialogs dialogs;
    zembrix::TMainForm mainForm(dialogs);
    zembrix::MainForm = &mainForm;
    zembrix::TAboutForm aboutForm;
    zembrix::AboutForm = &aboutForm;

    mainForm.show();
    QApplication::exec();
    zembrix::AboutForm = nullptr;
    zembrix::MainForm = nullptr;
    return 0;
}
