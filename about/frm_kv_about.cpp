#include "about/frm_kv_about.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStringList>
#include <utility>

#include "shared/app_info.h"
#include "shared/context_help.h"
#include "shared/message_box.h"
#include "shared/sans_serif.h"
#include "shared/twips.h"

namespace kelvor {

namespace {

const QColor kDialogBlue(192, 208, 255);
const QColor kLabelGrey(192, 192, 192);
const QColor kLabelText(64, 64, 64);
const QColor kRuleGreen(0, 192, 0);

// The classic 8-point dialog face; fontconfig answers with its own sans serif where it is
// missing.
QFont DialogFont(const QString& family, bool bold = false) {
  QFont font;
  font.setFamilies({family, QStringLiteral("DejaVu Sans")});
  font.setPointSizeF(8.25);
  font.setBold(bold);
  return font;
}

// The labels' and buttons' face.
constexpr double kLabelPoints = 8.25;

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, bool bold,
                  const QColor& textColour, const QString& tooltip) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(geometry);
  label->setFont(SansSerif(kLabelPoints, bold));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The labels carry a grey background but are drawn transparent over the dialog's blue.
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, kLabelGrey);
  palette.setColor(QPalette::WindowText, textColour);
  label->setPalette(palette);
  label->setAutoFillBackground(false);
  if (!tooltip.isEmpty()) label->setToolTip(tooltip);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry, const QString& tooltip) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(geometry);
  button->setFont(SansSerif(kLabelPoints));
  button->setToolTip(tooltip);
  return button;
}

// One stroke of the rule under the title block: a solid strip of pixels.
QWidget* MakeRuleStroke(QWidget* parent, const QRect& pixels, const QColor& colour, int index) {
  auto* stroke = new QWidget(parent);
  stroke->setObjectName(QStringLiteral("Line1"));
  stroke->setProperty("Index", index);
  stroke->setGeometry(pixels);
  QPalette palette = stroke->palette();
  palette.setColor(QPalette::Window, colour);
  stroke->setPalette(palette);
  stroke->setAutoFillBackground(true);
  stroke->setAttribute(Qt::WA_TransparentForMouseEvents);
  return stroke;
}

QString PlatformLine() {
  return QStringLiteral("For %1-bit %2 platforms")
      .arg(KELVOR_TARGET_BITS)
      .arg(QStringLiteral(KELVOR_TARGET_SYSTEM));
}

}  // namespace

frmKVAbout::frmKVAbout(Services& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_services(services) {
  setObjectName(QStringLiteral("frmKVAbout"));
  setModal(true);
  setFixedSize(Px(5175), Px(2520));
  setFont(DialogFont(QStringLiteral("Verdana")));
  setWindowIcon(app_info::WindowIcon());
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kDialogBlue);
  setPalette(palette);
  setAutoFillBackground(true);

  // The picture box: the Earth at natural size inside a 2-pixel sunken border.
  picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(TwipsRect(120, 120, 765, 855));
  picIcon->setFont(SansSerif(kLabelPoints));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setLineWidth(2);
  picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The picture, like the window icon, is made once for all openings (see app_info::WindowIcon).
  static const QIcon* const earth = new QIcon(QStringLiteral(":/images/earth.png"));
  picIcon->setPixmap(earth->pixmap(QSize(47, 53), devicePixelRatioF()));
  picIcon->setToolTip(QStringLiteral("Program motif"));
  picIcon->setFocusPolicy(Qt::StrongFocus);

  cmdOK = MakeButton(this, "cmdOK", QStringLiteral("&OK"), TwipsRect(2475, 2040, 1200, 375),
                     QStringLiteral("Close about dialogue window"));
  cmdSysInfo = MakeButton(this, "cmdSysInfo", QStringLiteral("&System Info"),
                          TwipsRect(3795, 2040, 1200, 375),
                          QStringLiteral("Your computer system information"));
  cmdOK->setDefault(true);
  // F1 on a focused button asks for its topic; the dialog has no help contents command.
  auto* help = new ContextHelp(m_services, {}, this);
  help->Attach(cmdOK, kOKHelpContextID);
  help->Attach(cmdSysInfo, kSysInfoHelpContextID);

  lblVersion = MakeLabel(this, "lblVersion", TwipsRect(120, 2040, 1485, 195), true, kLabelText,
                         QStringLiteral("Program release version"));
  Label1 = MakeLabel(this, "Label1", TwipsRect(1440, 360, 3385, 225), false, kLabelText,
                     QStringLiteral("Suitable operating system"));
  Label1->setText(PlatformLine());

  // The rule from (120, 1110) to (5040, 1110): a 2-pixel black stroke with the 1-pixel green
  // one lying on its lower row, which makes one dark-over-green line.
  const int ruleY = Px(1110);
  const int ruleLeft = Px(120);
  const int ruleWidth = Px(5040) - ruleLeft;
  Line1_1 = MakeRuleStroke(this, QRect(ruleLeft, ruleY, ruleWidth, 1), kRuleGreen, 1);
  Line1_0 = MakeRuleStroke(this, QRect(ruleLeft, ruleY - 1, ruleWidth, 2), Qt::black, 0);

  lblTitle = MakeLabel(this, "lblTitle", TwipsRect(1440, 120, 2415, 195), true, kLabelText,
                       QStringLiteral("Program title"));
  lblCopyright =
      MakeLabel(this, "lblCopyright", TwipsRect(1440, 600, 2805, 195), true, kLabelText, QString());
  lblDisclaimer = MakeLabel(this, "lblDisclaimer", TwipsRect(120, 1200, 5055, 915), false,
                            Qt::black, QStringLiteral("Legal license agreement"));
  // The warning is empty by design: the copyright line above names the licence.
  lblDisclaimer->setText(QString());

  // Earlier controls lie on top of later ones where they overlap (the buttons and the version
  // over the warning's last pixels, the green stroke over the black).
  const QList<QWidget*> frontToBack = {picIcon, cmdOK,   cmdSysInfo, lblVersion,   Label1,
                                       Line1_1, Line1_0, lblTitle,   lblCopyright, lblDisclaimer};
  for (auto it = frontToBack.crbegin(); it != frontToBack.crend(); ++it) (*it)->raise();

  setTabOrder(cmdOK, cmdSysInfo);
  setTabOrder(cmdSysInfo, picIcon);
  cmdOK->setFocus();

  connect(cmdOK, &QPushButton::clicked, this, &frmKVAbout::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmKVAbout::cmdSysInfo_Click);

  Form_Load();
}

void frmKVAbout::Form_Load() {
  ErrorTrap(m_services, [this] {
    setWindowTitle(QStringLiteral("About ") + app_info::Title());
    lblCopyright->setText(app_info::LegalCopyright());
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(app_info::kMajor)
                            .arg(app_info::kMinor)
                            .arg(app_info::kRevision));
    lblTitle->setText(app_info::Title());
  });
}

void frmKVAbout::cmdOK_Click() {
  ErrorTrap(m_services, [this] { accept(); });
}

void frmKVAbout::cmdSysInfo_Click() {
  ErrorTrap(m_services, [this] { m_services.StartSysInfo(); });
}

void frmKVAbout::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    // Esc presses the cancel button, which is "&OK".
    cmdOK->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kelvor
