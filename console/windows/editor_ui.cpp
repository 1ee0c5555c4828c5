#include "console/windows/editor_ui.h"

#include <QByteArray>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLayout>
#include <QSize>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QWidget>

#include <algorithm>

namespace corvane {
namespace {

bool AllLatin1(const QString& text) {
  return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

}  // namespace

QString Latin1Text(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::optional<std::string> Latin1Bytes(const QString& text) {
  if (!AllLatin1(text)) return std::nullopt;
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> FieldBytes(UiServices& ui, QWidget* window, QLineEdit* field, const char* refusal) {
  std::optional<std::string> bytes = Latin1Bytes(field->text());
  if (!bytes) {
    ui.Message(window, QString::fromLatin1(refusal));
    field->setFocus();
  }
  return bytes;
}

void UiEditorDialogs::Message(std::string_view text) {
  if (askedName_) nameRefused_ = true;
  ui_.Message(parent_, Latin1Text(text));
}

std::optional<TypedName> UiEditorDialogs::AskName(std::string_view caption, std::string_view prompt) {
  const std::optional<QString> typed = ui_.InputText(parent_, Latin1Text(caption), Latin1Text(prompt), preset_);
  if (!typed) return std::nullopt;
  askedName_ = true;
  lastTyped_ = *typed;
  if (std::optional<std::string> bytes = Latin1Bytes(*typed)) return TypedName{std::move(*bytes), true};
  return TypedName{{}, false};
}

void ShowNames(QComboBox* box, const std::vector<std::string>& names, const std::optional<std::string>& selected) {
  const QSignalBlocker blocker(box);
  box->clear();
  for (const std::string& name : names) {
    box->addItem(Latin1Text(name), QByteArray(name.data(), static_cast<qsizetype>(name.size())));
  }
  box->setCurrentIndex(selected ? IndexOfName(names, *selected) : -1);
}

std::optional<std::string> NameAt(const QComboBox* box, int index) {
  if (index < 0 || index >= box->count()) return std::nullopt;
  const QByteArray bytes = box->itemData(index).toByteArray();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SetFixedLayout(QWidget* window, QLayout* content, const QSize& designed) {
  // One cell that is at least the designed size: the window is the larger of that and what the
  // content asks for, recomputed whenever a font or style changes.
  auto* frame = new QGridLayout(window);
  frame->setContentsMargins(0, 0, 0, 0);
  frame->addLayout(content, 0, 0);
  frame->setColumnMinimumWidth(0, designed.width());
  frame->setRowMinimumHeight(0, designed.height());
  frame->setSizeConstraint(QLayout::SetFixedSize);
  // The size from the start, not only from the first show.
  frame->activate();
}

QLayout* GroupsAboveCloseButton(std::initializer_list<QWidget*> groups, QWidget* closeButton) {
  auto* content = new QVBoxLayout;
  content->setContentsMargins(8, 8, 8, 8);
  for (QWidget* group : groups) content->addWidget(group);
  content->addStretch(1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(closeButton);
  content->addLayout(bottom);
  return content;
}

QFont BoldFont(QFont font) {
  font.setBold(true);
  return font;
}

QFont RegularFont(QFont font) {
  font.setBold(false);
  return font;
}

void SetRegularFont(const QFont& font, std::initializer_list<QWidget*> controls) {
  const QFont regular = RegularFont(font);
  for (QWidget* control : controls) control->setFont(regular);
}

}  // namespace corvane
