#include "console/preferences_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>

#include "console/editor_ui.h"
#include "console/main_window.h"
#include "console/preferences.h"

namespace corvane {
namespace {

QIcon Swatch(const QColor& color) {
  QPixmap pixmap(16, 12);
  pixmap.fill(color);
  QPainter painter(&pixmap);
  painter.setPen(Qt::black);
  painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
  return QIcon(pixmap);
}

}  // namespace

const std::vector<std::pair<QString, QColor>>& TForm2::StandardColors() {
  static const std::vector<std::pair<QString, QColor>> colors = {
      {QStringLiteral("Black"), QColor(0x00, 0x00, 0x00)},   {QStringLiteral("Maroon"), QColor(0x80, 0x00, 0x00)},
      {QStringLiteral("Green"), QColor(0x00, 0x80, 0x00)},   {QStringLiteral("Olive"), QColor(0x80, 0x80, 0x00)},
      {QStringLiteral("Navy"), QColor(0x00, 0x00, 0x80)},    {QStringLiteral("Purple"), QColor(0x80, 0x00, 0x80)},
      {QStringLiteral("Teal"), QColor(0x00, 0x80, 0x80)},    {QStringLiteral("Gray"), QColor(0x80, 0x80, 0x80)},
      {QStringLiteral("Silver"), QColor(0xC0, 0xC0, 0xC0)},  {QStringLiteral("Red"), QColor(0xFF, 0x00, 0x00)},
      {QStringLiteral("Lime"), QColor(0x00, 0xFF, 0x00)},    {QStringLiteral("Yellow"), QColor(0xFF, 0xFF, 0x00)},
      {QStringLiteral("Blue"), QColor(0x00, 0x00, 0xFF)},    {QStringLiteral("Fuchsia"), QColor(0xFF, 0x00, 0xFF)},
      {QStringLiteral("Aqua"), QColor(0x00, 0xFF, 0xFF)},    {QStringLiteral("White"), QColor(0xFF, 0xFF, 0xFF)},
  };
  return colors;
}

TForm2::TForm2(TForm1& form1) : SecondaryWindow(&form1, form1.Ui()), form1_(form1) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Preferences"));
  RemoveCaptionButtons();
  setFixedSize(400, 230);

  GroupOutput = new QGroupBox(QStringLiteral("Output"), this);
  GroupOutput->setFont(BoldFont(font()));
  GroupOutput->setGeometry(8, 8, 384, 72);
  auto* colorLabel = new QLabel(QStringLiteral("Background color:"), GroupOutput);
  colorLabel->setFont(BoldFont(font()));
  colorLabel->setGeometry(12, 30, 128, 20);
  ColorBox2 = new QComboBox(GroupOutput);
  ColorBox2->setGeometry(144, 28, 136, 24);
  for (const auto& [name, color] : StandardColors()) ColorBox2->addItem(Swatch(color), name, color);
  SelectColor(QColor(0xC0, 0xC0, 0xC0));
  Button2 = new QPushButton(QStringLiteral("Font..."), GroupOutput);
  Button2->setGeometry(288, 27, 84, 26);

  GroupOptions = new QGroupBox(QStringLiteral("Options"), this);
  GroupOptions->setFont(BoldFont(font()));
  GroupOptions->setGeometry(8, 86, 384, 100);
  CheckBox1 = new QCheckBox(QStringLiteral("Minimize to Tray"), GroupOptions);
  CheckBox2 = new QCheckBox(QStringLiteral("Run When Windows Starts"), GroupOptions);
  CheckBox3 = new QCheckBox(QStringLiteral("Execute Jobs in Background"), GroupOptions);
  int top = 24;
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3}) {
    box->setGeometry(12, top, 360, 22);
    top += 24;
  }

  Button1 = new QPushButton(QStringLiteral("Close"), this);
  Button1->setFont(BoldFont(font()));
  Button1->setGeometry(308, 196, 84, 26);

  // The groups hand their bold caption font down: the controls inside keep the regular weight.
  SetRegularFont(font(), {ColorBox2, Button2, CheckBox1, CheckBox2, CheckBox3});

  // The operator's colour choice only: selecting the memo's colour from code writes nothing.
  connect(ColorBox2, &QComboBox::activated, this, [this](int) { ColorBox2Change(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  // Ticking from code runs the handlers as well (on every change of state).
  connect(CheckBox1, &QCheckBox::toggled, this, [this](bool) { CheckBox1Click(); });
  connect(CheckBox2, &QCheckBox::toggled, this, [this](bool) { CheckBox2Click(); });
  connect(CheckBox3, &QCheckBox::toggled, this, [this](bool) { CheckBox3Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm2::SelectColor(const QColor& color) {
  const int index = ColorBox2->findData(color.toRgb());
  ColorBox2->setCurrentIndex(index);  // -1 for a colour outside the list
}

QColor TForm2::SelectedColor() const {
  if (ColorBox2->currentIndex() < 0) return {};
  return ColorBox2->currentData().value<QColor>();
}

void TForm2::FormShow() {
  SelectColor(form1_.MemoColor());
  CheckBox1->setChecked(form1_.ReadKeyint(pref::MINIMIZE, pref::kMinimizeDefault) == 1);
  CheckBox2->setChecked(form1_.ReadKeyint(pref::RUNSTART, pref::kRunStartDefault) == 1);
  CheckBox3->setChecked(form1_.ReadKeyint(pref::EXECBACK, pref::kExecBackDefault) == 1);
}

void TForm2::ColorBox2Change() {
  Guarded(Ui(), this, [this] {
    const QColor color = SelectedColor();
    if (!color.isValid()) return;
    form1_.WriteKeyint(pref::BGCLR, ToStoredColor(color));
    form1_.SetMemoColor(color);
  });
}

void TForm2::Button2Click() {
  Guarded(Ui(), this, [this] {
    QFont font = form1_.Memo1->font();
    Ui().ChooseFont(this, font);  // a cancelled dialog leaves the memo's font as it is
    form1_.WriteKeystr(pref::FONTNAME, font.family());
    // The font dialog has no colour and no character set: the current ones are written back.
    form1_.WriteKeyint(pref::FONTCOLOR, ToStoredColor(form1_.MemoFontColor()));
    const double points = font.pointSizeF();
    const auto size = points > 0 ? static_cast<std::int32_t>(std::lround(points))
                                 : form1_.ReadKeyint(pref::FONTSIZE, pref::kFontSizeDefault);
    form1_.WriteKeyint(pref::FONTSIZE, size);
    form1_.WriteKeyint(pref::FONTCHARSET,
                       form1_.ReadKeyint(pref::FONTCHARSET, pref::kFontCharsetDefault) & 0xFF);
    form1_.WriteKeyint(pref::FONTSTYLE, FontStyleByte(font));
    form1_.Memo1->setFont(font);
  });
}

void TForm2::CheckBox1Click() {
  Guarded(Ui(), this, [this] {
    const bool checked = CheckBox1->isChecked();
    form1_.WriteKeyint(pref::MINIMIZE, checked ? 1 : 0);
    form1_.tray1->SetEnabled(checked);
  });
}

void TForm2::CheckBox2Click() {
  Guarded(Ui(), this, [this] { form1_.WriteKeyint(pref::RUNSTART, CheckBox2->isChecked() ? 1 : 0); });
}

void TForm2::CheckBox3Click() {
  Guarded(Ui(), this, [this] { form1_.WriteKeyint(pref::EXECBACK, CheckBox3->isChecked() ? 1 : 0); });
}

void TForm2::Button1Click() { close(); }

}  // namespace corvane
