#include "console/dialogs/notify/notify_controls.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/notify/notify_fields.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/settings.h"

namespace lark {

namespace {
constexpr int kPortCount = 8;  // COM1..COM8 offered; any COMn may be typed
}  // namespace

QLabel* BuddyLabel(QWidget* parent, int resource, int id, QWidget* buddy) {
  auto* l = new QLabel(QString::fromStdString(EnglishText(resource, id)), parent);
  SetControlId(l, id);
  l->setBuddy(buddy);
  buddy->setAccessibleName(l->text());
  return l;
}

QPushButton* TextButton(QWidget* parent, int resource, int id) {
  const QString text = QString::fromStdString(EnglishText(resource, id));
  auto* b = new QPushButton(text, parent);
  SetControlId(b, id);
  b->setAccessibleName(QString(text).remove('&').trimmed());
  return b;
}

ModemControls MakeModemControls(QWidget* parent, int resource, int boxId, int portLabel,
                                int baudLabel, std::span<const int> rates) {
  ModemControls m;
  m.box = new QGroupBox(QString::fromStdString(EnglishText(resource, boxId)), parent);
  SetControlId(m.box, boxId);
  auto* grid = new QGridLayout(m.box);
  m.port = new QComboBox(m.box);
  SetControlId(m.port, 10);
  m.port->setEditable(true);
  m.port->lineEdit()->setMaxLength(static_cast<int>(kGsmPortMax));
  for (int i = 1; i <= kPortCount; ++i) m.port->addItem(QString("COM%1").arg(i));
  m.baud = new QComboBox(m.box);
  SetControlId(m.baud, 11);
  for (int rate : rates) m.baud->addItem(QString::number(rate));
  grid->addWidget(BuddyLabel(m.box, resource, portLabel, m.port), 0, 0);
  grid->addWidget(m.port, 0, 1);
  grid->addWidget(BuddyLabel(m.box, resource, baudLabel, m.baud), 1, 0);
  grid->addWidget(m.baud, 1, 1);
  return m;
}

void ShowModem(const ModemControls& m, const std::string& port, int baud,
               std::span<const int> rates) {
  m.port->setEditText(QString::fromStdString(port));
  int chosen = -1;
  for (size_t i = 0; i < rates.size(); ++i)
    if (rates[i] == baud) chosen = static_cast<int>(i);
  m.baud->setCurrentIndex(chosen);
}

std::optional<std::string> ChosenPort(DialogBase& d, const ModemControls& m,
                                      const std::string& caption) {
  std::optional<std::string> port =
      NormalizeComPort(FieldFromTyped(m.port->currentText().toStdString(), kGsmPortMax));
  if (!port) d.env().ctx.ShowLangMessageBox(&d, kBadComPort, caption, MB_ICONEXCLAMATION);
  return port;
}

int ChosenBaud(const ModemControls& m, int current, std::span<const int> rates) {
  const int i = m.baud->currentIndex();
  return i >= 0 && static_cast<size_t>(i) < rates.size() ? rates[static_cast<size_t>(i)] : current;
}

}  // namespace lark
