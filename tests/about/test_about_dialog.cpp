// The About dialog as the player meets it: layout, texts, keys, context help and the
// "&System Info" button.
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "about/frm_kv_about.h"
#include "shared/app_info.h"
#include "shared/context_help.h"
#include "tests/fake_services.h"

namespace {

template <class T = QWidget>
T* Child(const QWidget& dialog, const char* name) {
  return dialog.findChild<T*>(QLatin1String(name));
}

QColor PixelAt(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

}  // namespace

class TestAboutDialog : public QObject {
  Q_OBJECT

 private:
  QWidget* m_owner = nullptr;
  // What the dialogs of one test asked of the desktop; fresh for every test.
  std::unique_ptr<FakeServices> m_services;

  // A dialog as the main window opens it.
  std::unique_ptr<kelvor::frmKVAbout> Open() {
    return std::make_unique<kelvor::frmKVAbout>(*m_services, m_owner);
  }

 private slots:
  void initTestCase() {
    m_owner = new QWidget;
    m_owner->setGeometry(150, 120, 520, 360);
    m_owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_owner));
  }
  void cleanupTestCase() { delete m_owner; }
  void init() {
    m_services = std::make_unique<FakeServices>();
    m_services->SetHelpFile(QStringLiteral("/opt/game/Kelvor.hlp"));
  }

  void controlsSitWhereTheLayoutPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<bool>("bold");
    QTest::newRow("picIcon") << "picIcon" << QRect(8, 8, 51, 57) << "Program motif" << false;
    QTest::newRow("cmdOK") << "cmdOK" << QRect(165, 136, 80, 25) << "Close about dialogue window"
                           << false;
    QTest::newRow("cmdSysInfo") << "cmdSysInfo" << QRect(253, 136, 80, 25)
                                << "Your computer system information" << false;
    QTest::newRow("lblVersion") << "lblVersion" << QRect(8, 136, 99, 13)
                                << "Program release version" << true;
    QTest::newRow("Label1") << "Label1" << QRect(96, 24, 226, 15) << "Suitable operating system"
                            << false;
    QTest::newRow("lblTitle") << "lblTitle" << QRect(96, 8, 161, 13) << "Program title" << true;
    QTest::newRow("lblCopyright") << "lblCopyright" << QRect(96, 40, 187, 13) << "" << true;
    QTest::newRow("lblDisclaimer")
        << "lblDisclaimer" << QRect(8, 80, 337, 61) << "Legal license agreement" << false;
  }
  void controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, tooltip);
    QFETCH(bool, bold);
    const auto dialog = Open();
    const QWidget* control = dialog->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->toolTip(), tooltip);
    QCOMPARE(control->font().bold(), bold);
    QCOMPARE(control->font().pointSizeF(), 8.25);
  }

  void dialogIsAFixedModalBoxWithACloseButton() {
    const auto dialog = Open();
    QCOMPARE(dialog->size(), QSize(345, 168));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(dialog->isModal());
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog->palette().color(QPalette::Window), QColor(192, 208, 255));
  }

  void loadFillsCaptionVersionCopyrightAndTitle() {
    const auto dialog = Open();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("About Tandrel Lunar landing"));
    QCOMPARE(Child<QLabel>(*dialog, "lblVersion")->text(), QStringLiteral("Version 1.0.0"));
    QCOMPARE(Child<QLabel>(*dialog, "lblTitle")->text(), QStringLiteral("Tandrel Lunar landing"));
    // The copyright line names the licence; the warning under the rule is empty.
    QCOMPARE(Child<QLabel>(*dialog, "lblCopyright")->text(),
             QStringLiteral("\u00A9 2026 Tandrel \u00B7 GPLv3+"));
    QCOMPARE(Child<QLabel>(*dialog, "lblDisclaimer")->text(), QString());
  }

  void platformLineNamesWhatTheProgramWasBuiltFor() {
#if defined(Q_OS_LINUX)
    const QString system = QStringLiteral("Linux");
#else
    QSKIP("the expected system name is known for Linux builds only");
#endif
    const auto dialog = Open();
    QCOMPARE(Child<QLabel>(*dialog, "Label1")->text(),
             QStringLiteral("For %1-bit %2 platforms").arg(QSysInfo::WordSize).arg(system));
  }

  void labelsShowTheirWholeText_data() {
    QTest::addColumn<QString>("name");
    // Each is one line high, so a text that wraps does not fit either (the copyright line in
    // its 2805 twips, bold). The warning is empty by design.
    for (const char* name : {"lblVersion", "Label1", "lblTitle", "lblCopyright"}) {
      QTest::newRow(name) << QString::fromLatin1(name);
    }
  }
  void labelsShowTheirWholeText() {
    QFETCH(QString, name);
    const auto dialog = Open();
    const QLabel* label = dialog->findChild<QLabel*>(name);
    QVERIFY(!label->text().isEmpty());
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, label->width(), 10000),
                                           Qt::AlignLeft | Qt::TextWordWrap, label->text());
    QVERIFY2(
        needed.width() <= label->width() && needed.height() <= label->height(),
        qPrintable(
            QStringLiteral("%1 needs %2x%3").arg(name).arg(needed.width()).arg(needed.height())));
  }

  void labelsUseDarkGreyTextAndTheWarningBlack() {
    const auto dialog = Open();
    for (const char* name : {"lblVersion", "Label1", "lblTitle", "lblCopyright"}) {
      QCOMPARE(Child(*dialog, name)->palette().color(QPalette::WindowText), QColor(64, 64, 64));
      QCOMPARE(Child(*dialog, name)->palette().color(QPalette::Window), QColor(192, 192, 192));
    }
    QCOMPARE(Child(*dialog, "lblDisclaimer")->palette().color(QPalette::WindowText),
             QColor(Qt::black));
  }

  void twoLinesFormOneDarkOverGreenRule() {
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QImage image = dialog->grab().toImage();
    for (int x : {8, 100, 335}) {
      QCOMPARE(PixelAt(image, x, 72), QColor(192, 208, 255));
      QCOMPARE(PixelAt(image, x, 73), QColor(Qt::black));
      QCOMPARE(PixelAt(image, x, 74), QColor(0, 192, 0));
      QCOMPARE(PixelAt(image, x, 75), QColor(192, 208, 255));
    }
    QCOMPARE(PixelAt(image, 336, 74), QColor(192, 208, 255));
    QCOMPARE(dialog->findChildren<QWidget*>(QStringLiteral("Line1")).size(), 2);
  }

  void pictureShowsTheEarthInASunkenBorder() {
    const auto dialog = Open();
    const auto* picture = Child<QLabel>(*dialog, "picIcon");
    QCOMPARE(picture->frameShadow(), QFrame::Sunken);
    QCOMPARE(picture->contentsRect().size(), QSize(47, 53));
    QCOMPARE(picture->pixmap().deviceIndependentSize().toSize(), QSize(47, 53));
  }

  void focusStartsOnOkAndTabsThroughSysInfoAndThePicture() {
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QCOMPARE(dialog->focusWidget(), Child(*dialog, "cmdOK"));
    QVERIFY(Child<QPushButton>(*dialog, "cmdOK")->isDefault());
    for (const char* next : {"cmdSysInfo", "picIcon", "cmdOK"}) {
      QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
      QCOMPARE(dialog->focusWidget(), Child(*dialog, next));
    }
  }

  // "closed" rows must end through cmdOK (Accepted); the close box alone ends Rejected.
  void keysOnTheFocusedControl_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("sysInfoStarts");
    QTest::newRow("Esc on OK") << "cmdOK" << int(Qt::Key_Escape) << true << 0;
    QTest::newRow("Esc on System Info") << "cmdSysInfo" << int(Qt::Key_Escape) << true << 0;
    QTest::newRow("Esc on the picture") << "picIcon" << int(Qt::Key_Escape) << true << 0;
    QTest::newRow("Enter on OK") << "cmdOK" << int(Qt::Key_Return) << true << 0;
    QTest::newRow("Enter on the picture") << "picIcon" << int(Qt::Key_Return) << true << 0;
    QTest::newRow("Enter on System Info presses it")
        << "cmdSysInfo" << int(Qt::Key_Return) << false << 1;
    QTest::newRow("Space on System Info presses it")
        << "cmdSysInfo" << int(Qt::Key_Space) << false << 1;
  }
  void keysOnTheFocusedControl() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);
    QFETCH(int, sysInfoStarts);
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QWidget* target = dialog->findChild<QWidget*>(focus);
    target->setFocus(Qt::TabFocusReason);
    QCOMPARE(dialog->focusWidget(), target);
    QTest::keyClick(target, static_cast<Qt::Key>(key));
    QCOMPARE(dialog->isVisible(), !closes);
    if (closes) QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(m_services->sysInfoStarts, sysInfoStarts);
    QVERIFY(m_services->messages.isEmpty());
  }

  void closeBoxClosesWithoutOk() {
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->windowHandle()->close();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
  }

  void systemInfoLeavesTheDialogOpenWhateverTheOutcome() {
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QTest::mouseClick(Child(*dialog, "cmdSysInfo"), Qt::LeftButton);
    QTest::mouseClick(Child(*dialog, "cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(m_services->sysInfoStarts, 2);
    QVERIFY(m_services->messages.isEmpty());
    QVERIFY(dialog->isVisible());
  }

  // The numbers are those every window's context help reads, under the one property name.
  void buttonsCarryTheirHelpContextID_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("helpContextID");
    QTest::newRow("OK") << "cmdOK" << 15;
    QTest::newRow("System Info") << "cmdSysInfo" << 16;
    QTest::newRow("the picture carries none") << "picIcon" << 0;
  }
  void buttonsCarryTheirHelpContextID() {
    QFETCH(QString, control);
    QFETCH(int, helpContextID);
    const auto dialog = Open();
    QWidget* widget = dialog->findChild<QWidget*>(control);
    QVERIFY(widget);
    QCOMPARE(kelvor::ContextHelp::HelpContextOf(widget), helpContextID);
  }

  void f1AsksForTheFocusedButtonsTopic_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("topic");
    QTest::newRow("OK") << "cmdOK" << 15;
    QTest::newRow("System Info") << "cmdSysInfo" << 16;
    QTest::newRow("the picture carries none") << "picIcon" << 0;
  }
  void f1AsksForTheFocusedButtonsTopic() {
    QFETCH(QString, focus);
    QFETCH(int, topic);
    const auto dialog = Open();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QWidget* target = dialog->findChild<QWidget*>(focus);
    target->setFocus(Qt::TabFocusReason);
    QTest::keyClick(target, Qt::Key_F1);
    if (topic == 0) {
      QVERIFY(m_services->helpRequests.isEmpty());
    } else {
      QCOMPARE(m_services->helpRequests.size(), 1);
      QCOMPARE(m_services->helpRequests[0].helpFile, QStringLiteral("/opt/game/Kelvor.hlp"));
      QCOMPARE(m_services->helpRequests[0].topic, topic);
    }
    QVERIFY(dialog->isVisible());
  }

  // Modal as the main window opens it: exec() returns once OK is clicked, and a second opening
  // fills the same texts again.
  void everyModalOpeningShowsFreshTexts() {
    QStringList seen;
    for (int opening = 0; opening < 2; ++opening) {
      const auto dialog = Open();
      kelvor::frmKVAbout* shown = dialog.get();
      bool modal = false;
      int offCentre = -1;
      QTimer::singleShot(0, shown, [&] {
        seen << shown->windowTitle() << Child<QLabel>(*shown, "lblVersion")->text()
             << Child<QLabel>(*shown, "lblCopyright")->text();
        modal = QApplication::activeModalWidget() == shown;
        offCentre =
            (shown->frameGeometry().center() - m_owner->frameGeometry().center()).manhattanLength();
        QTest::mouseClick(Child(*shown, "cmdOK"), Qt::LeftButton);
      });
      QCOMPARE(dialog->exec(), int(QDialog::Accepted));
      QVERIFY(modal);
      // Centred over the window that opened it.
      QVERIFY2(offCentre >= 0 && offCentre <= 2, qPrintable(QString::number(offCentre)));
    }
    QCOMPARE(seen.size(), 6);
    QCOMPARE(seen.mid(3), seen.mid(0, 3));
    QCOMPARE(seen[0], QStringLiteral("About Tandrel Lunar landing"));
  }
};

QTEST_MAIN(TestAboutDialog)
#include "test_about_dialog.moc"
