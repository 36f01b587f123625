// The console context: everything one running console owns (install folder,
// clock, device tree, settings, texts, fonts, the back buffer, the timers and
// the windows), passed by reference to whoever needs it. Tests build one on a
// temp folder with a fake clock and a scripted message box.
#pragma once
#include <QFont>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/shell/call_points.h"
#include "console/shell/child_reaper.h"
#include "console/shell/command_state.h"
#include "console/shell/console_settings.h"
#include "console/shell/console_texts.h"
#include "console/shell/dialog_registry.h"
#include "console/shell/monitor_settings.h"
#include "console/shell/window_timers.h"
#include "common/tokenizer.h"
#include "console/views/drawing_kit.h"
#include "core/device_tree.h"
#include "core/language_texts_store.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace lark {

class LarkviewWindow;

// Message box flags and answers as the callers pass and test them.
enum MessageBoxFlag : unsigned {
  MB_OK = 0x0,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum MessageBoxAnswer : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a message box and returns the answer; the default runs a QMessageBox.
using MessageBoxPresenter = std::function<int(QWidget* owner, const std::string& caption,
                                              const std::string& text, unsigned flags)>;
int QtMessageBox(QWidget* owner, const std::string& caption, const std::string& text, unsigned flags);

// Asks for a file name to save under; "" when cancelled. `filter` as
// "Excel File(*.XLS)", `suffix` added to a name without one.
using SaveFilePresenter = std::function<std::string(QWidget* owner, const std::string& filter,
                                                    const std::string& suffix)>;
std::string QtSaveFileName(QWidget* owner, const std::string& filter, const std::string& suffix);
// Asks for an existing file, starting in `folder`; "" when cancelled.
// `filter` as "Bitmap Files(*.BMP;*.JPG)".
using OpenFilePresenter = std::function<std::string(QWidget* owner, const std::string& filter,
                                                    const std::string& folder)>;
std::string QtOpenFileName(QWidget* owner, const std::string& filter, const std::string& folder);

inline constexpr const char* kMainTitle = "Gridwarden Manager";

// The drawing fonts, made once when the main window is created.
struct ConsoleFonts {
  QFont label;      // "Arial" 11 px bold
  QFont value;      // "Arial" 11 px, the UI font
  QFont panel;      // "Arial" 14 px
  QFont panelBold;  // "Arial" 14 px bold
  int valueLineHeight = 0;  // height + leading of `value`: map header, tab row unit
  int panelLineHeight = 0;  // height + leading of `panel`
};
ConsoleFonts MakeConsoleFonts();

class ConsoleContext {
 public:
  ConsoleContext(std::string installDir, const Clock& clock, WorkArea area);
  ~ConsoleContext();

  const std::string& installDir() const { return installDir_; }
  const Clock& clock() const { return clock_; }

  // "<install>/<language folder>/language.ini", the folder found without case.
  std::string languageFile() const;
  Profile languageProfile() const;
  // language.ini [MessageBox] M_n in a message box.
  int ShowLangMessageBox(QWidget* owner, int n, const std::string& caption, unsigned flags);

  DeviceTree tree;
  MonitorIni monitor;
  ConsoleSettings settings;
  ConsoleTexts texts;
  LanguageTables tables;  // action and parameter tables of the language
  ConsoleFonts fonts;
  BackBuffer backBuffer;
  WindowTimers timers;
  MessageBoxPresenter messageBox = QtMessageBox;
  SaveFilePresenter fileDialog = QtSaveFileName;
  OpenFilePresenter openFileDialog = QtOpenFileName;
  ChildReaper children;  // every program the console starts, reaped when it ends
  // Starts a program (argv, added environment) watched by `children`; tests
  // record instead.
  std::function<pid_t(const std::vector<std::string>&, const std::vector<std::string>&)> spawn =
      [this](const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        return children.spawn(argv, env);
      };
  std::function<void(int code)> quit;  // ends the event loop
  ConsoleCallPoints points;
  DialogRegistry dialogs;       // the dialogs by resource number
  OpenDialogRecord openDialog;  // the dialog that waits for the service
  ConsoleCommandState commands; // what the menu commands leave for their dialogs
  LarkviewWindow* mainWindow = nullptr;
  bool mapDirty = false;  // the map has unsaved changes
  // The one tokenizer of the reply handler and the dialogs (6016-byte text,
  // 512-byte tokens, both with their terminator); over-long input is cut.
  Tokenizer tokens{Tokenizer::Limits{6015, 511}};

 private:
  std::string installDir_;
  const Clock& clock_;
};

}  // namespace lark
