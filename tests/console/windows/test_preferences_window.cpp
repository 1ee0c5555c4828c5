// The Preferences window over the preference store.
#include "console/console_fixture.h"
#include "console/main_window_parts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "console/core/preferences.h"
#include "console/windows/app.h"
#include "console/windows/preferences_window.h"

namespace corvane {
namespace {

class PreferencesWindowTest : public test::ConsoleTest {
 protected:
  PreferencesWindow& PrefsWindow() {
    if (!preferencesWindow_) {
      MainWindow& mainWindow = Shown();
      preferencesWindow_ =
          std::make_unique<PreferencesWindow>(&mainWindow, *Services().ui, *Services().preferences,
                                              [&mainWindow] { return mainWindow.CurrentOutputLook(); });
      ConnectPreferences(*preferencesWindow_, mainWindow);
      ConnectMainWindow(mainWindow, *Services().ui, {.preferences = preferencesWindow_.get()});
    }
    return *preferencesWindow_;
  }
  void DestroyWindows() override {
    preferencesWindow_.reset();
    ConsoleTest::DestroyWindows();
  }
  std::unique_ptr<PreferencesWindow> preferencesWindow_;
};

TEST_F(PreferencesWindowTest, AsDesigned) {
  PreferencesWindow& form = PrefsWindow();
  EXPECT_EQ(form.windowTitle(), "Corvane 2.0 - Preferences");
  EXPECT_EQ(form.size(), QSize(400, 230));
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(form.parentWidget(), &Shown());  // a child window of the main window, not on top of all
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(form.minimizeToTrayBox_->text(), "Minimize to Tray");
  EXPECT_EQ(form.runAtLogonBox_->text(), "Run When Windows Starts");
  EXPECT_EQ(form.executeInBackgroundBox_->text(), "Execute Jobs in Background");
  EXPECT_EQ(form.closeButton_->text(), "Close");
  EXPECT_EQ(form.fontButton_->text(), "Font...");
  EXPECT_EQ(form.backgroundColorList_->count(), 16);
  EXPECT_EQ(form.SelectedColor(), QColor(0xC0, 0xC0, 0xC0));  // silver at creation
  EXPECT_FALSE(form.minimizeToTrayBox_->isChecked());

  // Bold: the two group captions, the colour label and Close; the controls inside the bold
  // groups keep the regular weight.
  EXPECT_EQ(form.outputGroup_->title(), "Output");
  EXPECT_EQ(form.optionsGroup_->title(), "Options");
  const QList<QLabel*> labels = form.outputGroup_->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  QLabel* colorLabel = labels[0];
  EXPECT_EQ(colorLabel->text(), "Background color:");
  for (QWidget* bold : {static_cast<QWidget*>(form.outputGroup_), static_cast<QWidget*>(form.optionsGroup_),
                        static_cast<QWidget*>(colorLabel), static_cast<QWidget*>(form.closeButton_)}) {
    EXPECT_TRUE(bold->font().bold()) << bold->metaObject()->className();
  }
  for (QWidget* regular :
       {static_cast<QWidget*>(form.backgroundColorList_), static_cast<QWidget*>(form.fontButton_),
        static_cast<QWidget*>(form.minimizeToTrayBox_), static_cast<QWidget*>(form.runAtLogonBox_),
        static_cast<QWidget*>(form.executeInBackgroundBox_)}) {
    EXPECT_FALSE(regular->font().bold()) << regular->metaObject()->className();
  }
  // Every caption fits its place once the window is shown.
  form.present();
  EXPECT_LE(colorLabel->sizeHint().width(), colorLabel->width());
  EXPECT_LE(colorLabel->geometry().right(), form.backgroundColorList_->geometry().left());
  for (QCheckBox* box : {form.minimizeToTrayBox_, form.runAtLogonBox_, form.executeInBackgroundBox_}) {
    EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
  }
}

TEST_F(PreferencesWindowTest, ShowingWritesOnlyWhatChanges) {
  MainWindow& main = Shown();
  main.SetOutputColor(QColor(0, 0, 0x80));  // navy
  PreferencesWindow& form = PrefsWindow();
  form.present();
  EXPECT_EQ(form.SelectedColor(), QColor(0, 0, 0x80));
  EXPECT_TRUE(StoredKeys().isEmpty());  // every box already in its stored state

  Store("MINIMIZE", "1");
  Store("EXECBACK", "1");
  form.onCloseClicked();
  EXPECT_FALSE(form.isVisible());
  main.onPreferences();
  EXPECT_TRUE(form.minimizeToTrayBox_->isChecked());
  EXPECT_FALSE(form.runAtLogonBox_->isChecked());
  EXPECT_TRUE(form.executeInBackgroundBox_->isChecked());
  EXPECT_TRUE(main.Tray().Enabled());  // the stored MINIMIZE applied again
  EXPECT_FALSE(Stored("RUNSTART").isValid());
  EXPECT_FALSE(Stored("BGCLR").isValid());
}

TEST_F(PreferencesWindowTest, ColourIsWrittenAndAppliedAtOnce) {
  PreferencesWindow& form = PrefsWindow();
  form.present();
  const int red = form.backgroundColorList_->findText("Red");
  ASSERT_GE(red, 0);
  form.backgroundColorList_->setCurrentIndex(red);
  emit form.backgroundColorList_->activated(red);
  EXPECT_EQ(Stored("BGCLR").toString(), "255");
  EXPECT_EQ(Shown().OutputColor(), QColor(255, 0, 0));
}

TEST_F(PreferencesWindowTest, OptionsAreWrittenAsTheyAreTicked) {
  PreferencesWindow& form = PrefsWindow();
  form.present();
  form.minimizeToTrayBox_->setChecked(true);
  EXPECT_EQ(Stored("MINIMIZE").toString(), "1");
  EXPECT_TRUE(Shown().Tray().Enabled());
  form.minimizeToTrayBox_->setChecked(false);
  EXPECT_EQ(Stored("MINIMIZE").toString(), "0");
  EXPECT_FALSE(Shown().Tray().Enabled());
  form.runAtLogonBox_->setChecked(true);
  EXPECT_EQ(Stored("RUNSTART").toString(), "1");
  EXPECT_FALSE(QFile::exists(AutostartDir() + "/Corvane.desktop"));  // only at the next close
  form.executeInBackgroundBox_->setChecked(true);
  EXPECT_EQ(Stored("EXECBACK").toString(), "1");
}

TEST_F(PreferencesWindowTest, CancelledFontDialogWritesTheCurrentFont) {
  Store("FONTCHARSET", "238");
  MainWindow& main = Shown();
  const QFont before = test::Output(main)->font();
  PrefsWindow().onFont();
  EXPECT_EQ(ui_->fontDialogs, 1);
  EXPECT_EQ(Stored("FONTNAME").toString(), "Arial");
  EXPECT_EQ(Stored("FONTCOLOR").toString(), "0");
  EXPECT_EQ(Stored("FONTSIZE").toString(), "8");
  EXPECT_EQ(Stored("FONTCHARSET").toString(), "238");
  EXPECT_EQ(Stored("FONTSTYLE").toString(), "0");
  EXPECT_EQ(test::Output(main)->font(), before);
}

TEST_F(PreferencesWindowTest, ChosenFontIsWrittenAndApplied) {
  ui_->chooseFont = [](QFont& font) {
    font = QFont("Courier New", 12);
    font.setBold(true);
    font.setUnderline(true);
    return true;
  };
  MainWindow& main = Shown();
  main.SetOutputTextColor(QColor(0, 0x80, 0));
  PrefsWindow().onFont();
  EXPECT_EQ(Stored("FONTNAME").toString(), "Courier New");
  EXPECT_EQ(Stored("FONTSIZE").toString(), "12");
  EXPECT_EQ(Stored("FONTSTYLE").toString(), "5");
  EXPECT_EQ(Stored("FONTCOLOR").toString(), QString::number(0x008000));
  EXPECT_EQ(test::Output(main)->font().family(), "Courier New");
  EXPECT_TRUE(test::Output(main)->font().underline());
}

// "Font..." chooses the text colour too: after a chosen font the colour dialog starts on the
// current text colour, and FONTCOLOR is what it answers.  A cancelled font dialog asks no colour.
TEST_F(PreferencesWindowTest, FontRoadChoosesTheTextColour) {
  struct Case {
    const char* what;
    bool fontChosen;
    std::optional<QColor> colorChosen;  // nothing: the colour dialog is cancelled
    int colorDialogs;
    QColor stored;
  };
  const QColor green(0, 0x80, 0);
  const QColor yellow(0xFF, 0xFF, 0);
  const std::vector<Case> cases = {
      {"font and colour chosen", true, yellow, 1, yellow},
      {"colour dialog cancelled", true, std::nullopt, 1, green},
      {"font dialog cancelled", false, yellow, 0, green},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MainWindow& main = Shown();
    main.SetOutputColor(QColor(0, 0, 0x80));  // Navy: green and yellow text both stand out
    main.SetOutputTextColor(green);
    ui_->fontDialogs = 0;
    ui_->colorDialogs = 0;
    ui_->chooseFont = [&](QFont& font) {
      if (c.fontChosen) font = QFont("Courier New", 12);
      return c.fontChosen;
    };
    QColor offered;
    ui_->chooseColor = [&](QColor& color) {
      offered = color;
      if (c.colorChosen) color = *c.colorChosen;
      return c.colorChosen.has_value();
    };
    PrefsWindow().onFont();
    EXPECT_EQ(ui_->fontDialogs, 1);
    ASSERT_EQ(ui_->colorDialogs, c.colorDialogs);
    if (c.colorDialogs > 0) {
      EXPECT_EQ(offered, green);
    }
    EXPECT_EQ(Stored("FONTCOLOR").toString(), QString::number(ToStoredColor(c.stored)));
    EXPECT_EQ(main.OutputTextColor(), c.stored);
    EXPECT_EQ(test::Output(main)->palette().color(QPalette::Text), c.stored);
  }
}

// Whatever colours are stored, the output is readable: text too close to the background is shown
// in black or white, at start-up and after every change; the stored colour stays as chosen.
TEST_F(PreferencesWindowTest, OutputStaysReadableWhateverColoursAreStored) {
  Store("BGCLR", "0");      // Black
  Store("FONTCOLOR", "0");  // black text
  MainWindow& main = Shown();
  const auto shownText = [&] { return test::Output(main)->palette().color(QPalette::Text); };
  EXPECT_EQ(main.OutputColor(), QColor(0, 0, 0));
  EXPECT_EQ(shownText(), QColor(255, 255, 255));
  EXPECT_EQ(main.OutputTextColor(), QColor(0, 0, 0));

  PreferencesWindow& form = PrefsWindow();
  form.present();
  const auto chooseBackground = [&](const char* name) {
    const int index = form.backgroundColorList_->findText(name);
    ASSERT_GE(index, 0);
    form.backgroundColorList_->setCurrentIndex(index);
    emit form.backgroundColorList_->activated(index);
  };
  chooseBackground("Silver");
  EXPECT_EQ(shownText(), QColor(0, 0, 0));  // the chosen black again
  chooseBackground("Navy");
  EXPECT_EQ(shownText(), QColor(255, 255, 255));
  // Yellow text chosen through "Font...": readable on Navy, shown as it is; on White it is not.
  ui_->chooseFont = [](QFont&) { return true; };
  ui_->chooseColor = [](QColor& color) {
    color = QColor(0xFF, 0xFF, 0);
    return true;
  };
  form.onFont();
  EXPECT_EQ(shownText(), QColor(0xFF, 0xFF, 0));
  chooseBackground("White");
  EXPECT_EQ(shownText(), QColor(0, 0, 0));
  EXPECT_EQ(Stored("FONTCOLOR").toString(), QString::number(0x00FFFF));
  EXPECT_EQ(Stored("BGCLR").toString(), QString::number(0xFFFFFF));
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(PreferencesWindowTest, AFailedWriteIsShownNotThrown) {
  PreferencesWindow& form = PrefsWindow();
  form.present();
  // The store's folder turns into a file.
  QDir(Dir() + "/config").removeRecursively();
  WriteFile("config", "blocked");
  form.executeInBackgroundBox_->setChecked(true);
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0], "Failed to set data for 'EXECBACK'");
}

}  // namespace
}  // namespace corvane
