// On a real X server: both windows as a user sees them, saved as screenshots;
// the main window's caption as the window manager receives it, and its place.
#include <QProcess>
#include <QtTest>

#include "about/About.h"
#include "app/Main.h"
#include "app/look.h"

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(zembrix::RequireJpegSupport());
        QCoreApplication::setApplicationName(zembrix::kApplicationTitle);
        QVERIFY(QDir().mkpath(QStringLiteral(ZEMBRIX_SCREENSHOT_DIR)));
    }

    void mainWindow() {
        zembrix::WidgetDialogs dialogs;
        zembrix::TMainForm form(dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.geometry().size(), QSize(615, 423));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(form.frameGeometry().topLeft(),
                 zembrix::CentredPosition(screen.size(), form.frameGeometry().size()));

        // What the X server holds as the title: nothing appended to the caption.
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(form.winId()),
                                              QStringLiteral("_NET_WM_NAME")});
        if (xprop.waitForFinished(10'000) && xprop.exitCode() == 0) {
            const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
            QCOMPARE(out, QStringLiteral("_NET_WM_NAME(UTF8_STRING) = \"ZembrixV1.0-[功能:学校尽量打乱,男女生尽量交叉.]-作者:Tovrin\""));
        } else {
            qWarning("xprop not available; the caption was not checked on the server");
        }
        QTest::qWait(50);
        QVERIFY(form.grab().save(QStringLiteral(ZEMBRIX_SCREENSHOT_DIR "/main-window.png")));
    }

    void aboutWindow() {
        zembrix::TAboutForm about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.geometry().size(), QSize(330, 225));
        QVERIFY(about.PhysMem->text().endsWith(QStringLiteral(" KB")));
        QTest::qWait(50);
        QVERIFY(about.grab().save(QStringLiteral(ZEMBRIX_SCREENSHOT_DIR "/about-window.png")));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
