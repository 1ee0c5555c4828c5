#include "console/windows/preferences_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

#include "console/core/preferences.h"
#include "console/windows/editor_ui.h"

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

const std::vector<std::pair<QString, QColor>>& PreferencesWindow::StandardColors() {
  static const std::vector<std::pair<QString, QColor>> colors = {
      {QStringLiteral("Black"), QColor(0x00, 0x00, 0x00)},  {QStringLiteral("Maroon"), QColor(0x80, 0x00, 0x00)},
      {QStringLiteral("Green"), QColor(0x00, 0x80, 0x00)},  {QStringLiteral("Olive"), QColor(0x80, 0x80, 0x00)},
      {QStringLiteral("Navy"), QColor(0x00, 0x00, 0x80)},   {QStringLiteral("Purple"), QColor(0x80, 0x00, 0x80)},
      {QStringLiteral("Teal"), QColor(0x00, 0x80, 0x80)},   {QStringLiteral("Gray"), QColor(0x80, 0x80, 0x80)},
      {QStringLiteral("Silver"), QColor(0xC0, 0xC0, 0xC0)}, {QStringLiteral("Red"), QColor(0xFF, 0x00, 0x00)},
      {QStringLiteral("Lime"), QColor(0x00, 0xFF, 0x00)},   {QStringLiteral("Yellow"), QColor(0xFF, 0xFF, 0x00)},
      {QStringLiteral("Blue"), QColor(0x00, 0x00, 0xFF)},   {QStringLiteral("Fuchsia"), QColor(0xFF, 0x00, 0xFF)},
      {QStringLiteral("Aqua"), QColor(0x00, 0xFF, 0xFF)},   {QStringLiteral("White"), QColor(0xFF, 0xFF, 0xFF)},
  };
  return colors;
}

PreferencesWindow::PreferencesWindow(QWidget* mainWindow, UiServices& ui, Preferences& preferences,
                                     std::function<OutputLook()> outputLook)
    : SecondaryWindow(mainWindow, ui), preferences_(preferences), outputLook_(std::move(outputLook)) {
  setWindowTitle(QStringLiteral("Corvane 2.0 - Preferences"));
  RemoveCaptionButtons();

  outputGroup_ = new QGroupBox(QStringLiteral("Output"), this);
  outputGroup_->setFont(BoldFont(font()));
  auto* colorLabel = new QLabel(QStringLiteral("Background color:"), outputGroup_);
  colorLabel->setFont(BoldFont(font()));
  backgroundColorList_ = new QComboBox(outputGroup_);
  for (const auto& [name, color] : StandardColors()) backgroundColorList_->addItem(Swatch(color), name, color);
  SelectColor(QColor(0xC0, 0xC0, 0xC0));
  colorLabel->setBuddy(backgroundColorList_);
  fontButton_ = new QPushButton(QStringLiteral("Font..."), outputGroup_);
  auto* outputRow = new QHBoxLayout(outputGroup_);
  outputRow->addWidget(colorLabel);
  outputRow->addWidget(backgroundColorList_, 1);
  outputRow->addWidget(fontButton_);

  optionsGroup_ = new QGroupBox(QStringLiteral("Options"), this);
  optionsGroup_->setFont(BoldFont(font()));
  minimizeToTrayBox_ = new QCheckBox(QStringLiteral("Minimize to Tray"), optionsGroup_);
  runAtLogonBox_ = new QCheckBox(QStringLiteral("Run When Windows Starts"), optionsGroup_);
  executeInBackgroundBox_ = new QCheckBox(QStringLiteral("Execute Jobs in Background"), optionsGroup_);
  auto* options = new QVBoxLayout(optionsGroup_);
  for (QCheckBox* box : {minimizeToTrayBox_, runAtLogonBox_, executeInBackgroundBox_}) options->addWidget(box);

  closeButton_ = new QPushButton(QStringLiteral("Close"), this);
  closeButton_->setFont(BoldFont(font()));

  // The groups hand their bold caption font down: the controls inside keep the regular weight.
  SetRegularFont(font(),
                 {backgroundColorList_, fontButton_, minimizeToTrayBox_, runAtLogonBox_, executeInBackgroundBox_});

  SetFixedLayout(this, GroupsAboveCloseButton({outputGroup_, optionsGroup_}, closeButton_), QSize(400, 230));

  // The operator's colour choice only: selecting the output's colour from code writes nothing.
  connect(backgroundColorList_, &QComboBox::activated, this, [this](int) { onBackgroundColorChosen(); });
  connect(fontButton_, &QPushButton::clicked, this, [this] { onFont(); });
  // Ticking from code runs the handlers as well (on every change of state).
  connect(minimizeToTrayBox_, &QCheckBox::toggled, this, [this](bool) { onMinimizeToTrayToggled(); });
  connect(runAtLogonBox_, &QCheckBox::toggled, this, [this](bool) { onRunAtLogonToggled(); });
  connect(executeInBackgroundBox_, &QCheckBox::toggled, this, [this](bool) { onExecuteInBackgroundToggled(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { onCloseClicked(); });
}

void PreferencesWindow::SelectColor(const QColor& color) {
  const int index = backgroundColorList_->findData(color.toRgb());
  backgroundColorList_->setCurrentIndex(index);  // -1 for a colour outside the list
}

QColor PreferencesWindow::SelectedColor() const {
  if (backgroundColorList_->currentIndex() < 0) return {};
  return backgroundColorList_->currentData().value<QColor>();
}

void PreferencesWindow::onShow() {
  SelectColor(outputLook_().background);
  minimizeToTrayBox_->setChecked(preferences_.ReadInteger(pref::MINIMIZE, pref::kMinimizeDefault) == 1);
  runAtLogonBox_->setChecked(preferences_.ReadInteger(pref::RUNSTART, pref::kRunStartDefault) == 1);
  executeInBackgroundBox_->setChecked(preferences_.ReadInteger(pref::EXECBACK, pref::kExecBackDefault) == 1);
}

void PreferencesWindow::onBackgroundColorChosen() {
  Guarded(Ui(), this, [this] {
    const QColor color = SelectedColor();
    if (!color.isValid()) return;
    preferences_.WriteInteger(pref::BGCLR, ToStoredColor(color));
    emit outputColorChanged(color);
  });
}

void PreferencesWindow::onFont() {
  Guarded(Ui(), this, [this] {
    const OutputLook look = outputLook_();
    QFont font = look.font;
    QColor color = look.text;
    // The font dialog has no colour: the colour dialog for the text follows a chosen font. A
    // cancelled dialog leaves the output's font (and colour) as it is.
    if (Ui().ChooseFont(this, font)) Ui().ChooseColor(this, color);
    preferences_.WriteText(pref::FONTNAME, font.family());
    preferences_.WriteInteger(pref::FONTCOLOR, ToStoredColor(color));
    // The font dialog has no character set: the current one is written back.
    const double points = font.pointSizeF();
    const auto size = points > 0 ? static_cast<std::int32_t>(std::lround(points))
                                 : preferences_.ReadInteger(pref::FONTSIZE, pref::kFontSizeDefault);
    preferences_.WriteInteger(pref::FONTSIZE, size);
    preferences_.WriteInteger(pref::FONTCHARSET,
                              preferences_.ReadInteger(pref::FONTCHARSET, pref::kFontCharsetDefault) & 0xFF);
    preferences_.WriteInteger(pref::FONTSTYLE, FontStyleByte(font));
    emit outputFontChanged(font);
    emit outputTextColorChanged(color);
  });
}

void PreferencesWindow::onMinimizeToTrayToggled() {
  Guarded(Ui(), this, [this] {
    const bool checked = minimizeToTrayBox_->isChecked();
    preferences_.WriteInteger(pref::MINIMIZE, checked ? 1 : 0);
    emit minimizeToTrayChanged(checked);
  });
}

void PreferencesWindow::onRunAtLogonToggled() {
  Guarded(Ui(), this, [this] { preferences_.WriteInteger(pref::RUNSTART, runAtLogonBox_->isChecked() ? 1 : 0); });
}

void PreferencesWindow::onExecuteInBackgroundToggled() {
  Guarded(Ui(), this,
          [this] { preferences_.WriteInteger(pref::EXECBACK, executeInBackgroundBox_->isChecked() ? 1 : 0); });
}

void PreferencesWindow::onCloseClicked() { close(); }

}  // namespace corvane
