// Controls the notification dialogs build alike: labels with their buddy,
// buttons, both with the template's English text and their id, and the GSM
// modem's port and rate drop-downs with the check of the port.
#pragma once
#include <optional>
#include <span>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace lark {

class DialogBase;

// Label `id` of `resource`; `buddy` takes its text as its accessible name.
QLabel* BuddyLabel(QWidget* parent, int resource, int id, QWidget* buddy);
QPushButton* TextButton(QWidget* parent, int resource, int id);

// Group box `boxId` with combo 10 (editable, "COM1".."COM8") and combo 11
// (`rates`), labelled `portLabel` and `baudLabel` of `resource`.
struct ModemControls {
  QGroupBox* box = nullptr;
  QComboBox* port = nullptr;
  QComboBox* baud = nullptr;
};
ModemControls MakeModemControls(QWidget* parent, int resource, int boxId, int portLabel,
                                int baudLabel, std::span<const int> rates);
// Shows the stored port text and rate (a rate not offered chooses nothing).
void ShowModem(const ModemControls& m, const std::string& port, int baud,
               std::span<const int> rates);
// The port as the settings keep it; refused ([MessageBox] M_73 with
// `caption`), nullopt.
std::optional<std::string> ChosenPort(DialogBase& d, const ModemControls& m,
                                      const std::string& caption);
// The chosen rate, or `current` when nothing is chosen.
int ChosenBaud(const ModemControls& m, int current, std::span<const int> rates);

}  // namespace lark
