// The About window on the offscreen platform: layout, texts, keys, links and
// the memory figures.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "about/About.h"
#include "about/memory.h"
#include "app/look.h"

class AboutWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<zembrix::TAboutForm> form_;
    zembrix::MemoryStatus memory_{536'870'912, 5};
    std::vector<QUrl> opened_;

    void showForm() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

private slots:
    void init() {
        QCoreApplication::setApplicationName(zembrix::kApplicationTitle);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        form_ = std::make_unique<zembrix::TAboutForm>();
        form_->setMemorySource([this] { return memory_; });
        form_->setUrlOpener([this](const QUrl& url) { opened_.push_back(url); });
        opened_.clear();
    }
    void cleanup() { form_.reset(); }

    void captionAndSize() {
        QVERIFY(form_->isHidden());
        QCOMPARE(form_->windowTitle(), QStringLiteral("关于系统"));
        QCOMPARE(form_->size(), QSize(330, 225));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        const Qt::WindowFlags flags = form_->windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(form_->font().pixelSize(), 12);
        QCOMPARE(form_->ProductName->font().pixelSize(), 14);
    }

    void labels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("ProductName") << "ProductName" << QRect(88, 7, 225, 16) << "Zembrix";
        QTest::newRow("Version") << "Version" << QRect(88, 28, 65, 15) << "版本：1.0";
        QTest::newRow("LabelZZ") << "LabelZZ" << QRect(88, 51, 97, 13) << "作  者：Tovrin";
        QTest::newRow("LabelDH") << "LabelDH" << QRect(88, 69, 137, 13) << "手  机：000-0000-0000";
        QTest::newRow("LabelDW") << "LabelDW" << QRect(88, 88, 161, 13) << "单  位：示例单位（虚构）";
        QTest::newRow("LabelE_mail") << "LabelE_mail" << QRect(88, 107, 49, 13) << "E_mail：";
        QTest::newRow("LabelEmail") << "LabelEmail" << QRect(135, 105, 113, 17) << "tovrin@example.com";
        QTest::newRow("Label_http") << "Label_http" << QRect(88, 126, 49, 13) << "网  址：";
        QTest::newRow("Labelhttp") << "Labelhttp" << QRect(135, 126, 138, 13) << "https://example.com/";
        QTest::newRow("Label1") << "Label1" << QRect(25, 160, 160, 13) << "Windows  的可用物理内存：";
        QTest::newRow("Label2") << "Label2" << QRect(25, 180, 60, 12) << "使用内存：";
    }
    void labels() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* label = form_->findChild<QLabel*>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->text(), text);
    }

    void figuresBeforeAndAfterShowing() {
        QCOMPARE(form_->PhysMem->text(), QStringLiteral("0"));
        QCOMPARE(form_->FreeRes->text(), QStringLiteral("0"));
        showForm();
        QCOMPARE(form_->PhysMem->text(), QStringLiteral("524,288 KB"));
        QCOMPARE(form_->FreeRes->text(), QStringLiteral("5 %"));
        QCOMPARE(form_->PhysMem->pos(), QPoint(186, 160));
        QCOMPARE(form_->PhysMem->size(), form_->PhysMem->sizeHint());
        QCOMPARE(form_->ProgramIcon->pixmap().size(), QSize(32, 32));
        QCOMPARE(form_->ProgramIcon->size(), QSize(32, 32));
        const QImage check = form_->BitBtn1->icon().pixmap(18, 18).toImage();
        QCOMPARE(check.size(), QSize(18, 18));
        QCOMPARE(qAlpha(check.pixel(0, 17)), 0);
        QVERIFY(check != form_->BitBtn1->icon().pixmap(18, 18, QIcon::Disabled).toImage());
        QCOMPARE(form_->ProgramIcon->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(form_->LabelEmail->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(form_->Labelhttp->cursor().shape(), Qt::PointingHandCursor);

        // A second showing renews the figures and the place.
        form_->hide();
        memory_ = {25'769'803'776, 87};
        form_->move(0, 0);
        showForm();
        QCOMPARE(form_->PhysMem->text(), QStringLiteral("25,165,824 KB"));
        QCOMPARE(form_->FreeRes->text(), QStringLiteral("87 %"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(form_->frameGeometry().topLeft(),
                 zembrix::CentredPosition(screen.size(), form_->frameGeometry().size()) + screen.topLeft());
    }

    void physMemText_data() {
        QTest::addColumn<qulonglong>("bytes");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("512 MiB") << qulonglong{536'870'912} << english << "524,288 KB";
        QTest::newRow("512 MiB, German") << qulonglong{536'870'912} << german << "524.288 KB";
        QTest::newRow("24 GiB, no 32-bit wrap") << qulonglong{25'769'803'776} << english << "25,165,824 KB";
        QTest::newRow("rounds down") << qulonglong{1535} << english << "1 KB";
        QTest::newRow("rounds up") << qulonglong{1536} << english << "2 KB";
        QLocale plain = english;
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        QTest::newRow("grouped even when the locale omits it") << qulonglong{1'048'576'000} << plain << "1,024,000 KB";
    }
    void physMemText() {
        QFETCH(qulonglong, bytes);
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QCOMPARE(zembrix::PhysMemText(bytes, locale), text);
    }

    void memoryLoadText() {
        QCOMPARE(zembrix::MemoryLoadText(5), QStringLiteral("5 %"));
        QCOMPARE(zembrix::MemoryLoadText(100), QStringLiteral("100 %"));
    }

    void parseMeminfo() {
        const auto big = zembrix::ParseMeminfo(
            "MemTotal:       25165824 kB\nMemFree:          100000 kB\nMemAvailable:   18874368 kB\n");
        QVERIFY(big.has_value());
        QCOMPARE(big->totalBytes, std::uint64_t{25'769'803'776});
        QCOMPARE(big->loadPercent, 25);
        // Without MemAvailable: free, buffers and cache count as available.
        const auto old = zembrix::ParseMeminfo(
            "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 100 kB\nCached: 300 kB\nSwapCached: 999 kB\n");
        QVERIFY(old.has_value());
        QCOMPARE(old->totalBytes, std::uint64_t{1'024'000});
        QCOMPARE(old->loadPercent, 50);
        QVERIFY(!zembrix::ParseMeminfo("MemFree: 100 kB\n").has_value());
        QVERIFY(!zembrix::ParseMeminfo("MemTotal: 0 kB\n").has_value());
        QVERIFY(!zembrix::ParseMeminfo("MemTotal: 99999999999999999999 kB\n").has_value());
        QVERIFY(!zembrix::ParseMeminfo("MemTotal: 18014398509481984 kB\n").has_value());
        QVERIFY(!zembrix::ParseMeminfo("MemTotalX: 5 kB\n").has_value());
    }

    void systemFigures() {
        const zembrix::MemoryStatus status = zembrix::QueryMemoryStatus();
        QVERIFY(status.totalBytes > 0);
        QVERIFY(status.loadPercent >= 0 && status.loadPercent <= 100);
    }

    void keys() {
        // Not the window's default button: Enter presses it only because it has the focus.
        QVERIFY(!form_->BitBtn1->isDefault());
        showForm();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(QApplication::focusWidget(), form_->BitBtn1);
        QTest::keyClick(form_.get(), Qt::Key_Escape);
        QVERIFY(form_->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!form_->isVisible());
        QCOMPARE(form_->result(), int{QDialog::Accepted});

        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Enter}) {
            form_->setResult(QDialog::Rejected);
            showForm();
            form_->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form_.get()));
            QTest::keyClick(QApplication::focusWidget(), key);
            QVERIFY(!form_->isVisible());
            QCOMPARE(form_->result(), int{QDialog::Accepted});
        }
    }

    void closeBoxRejects() {
        showForm();
        form_->setResult(QDialog::Accepted);
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QCOMPARE(form_->result(), int{QDialog::Rejected});
    }

    void links() {
        showForm();
        QTest::mouseClick(form_->LabelEmail, Qt::LeftButton);
        QTest::mouseClick(form_->Labelhttp, Qt::LeftButton);
        QTest::mouseClick(form_->ProgramIcon, Qt::LeftButton);
        QCOMPARE(opened_.size(), std::size_t{2});
        QCOMPARE(opened_[0], QUrl(QStringLiteral("mailto:tovrin@example.com")));
        QCOMPARE(opened_[1], QUrl(QStringLiteral("https://example.com/")));
        QVERIFY(form_->isVisible());
    }
};

QTEST_MAIN(AboutWindowTest)
#include "about_window_test.moc"
