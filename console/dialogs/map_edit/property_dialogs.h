// The property dialogs of the node selected on the map, one per NodeKind:
// group 249 (OpenDialogId 25, 14/1), SNMP 106 (26, 14/2), local 250 (24,
// 14/0, 30 s) and GPRS 167 (36, 14/7). Each edits a copy of the node, sends
// it whole with the node's id, and changes the console's node only when the
// service answers 27; a refusal shows MSG1 (or the console holding the control
// lock) and gives the buttons back. The SNMP and local dialogs open the Alarm
// Mask and PLC dialogs over themselves.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <optional>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/map_edit/node_properties.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

inline constexpr int kProGroupResource = 249, kProSnmpResource = 106, kProLocalResource = 250,
                     kProGprsResource = 167;
inline constexpr uint32_t kProLocalDialogId = 24, kProGroupDialogId = 25, kProSnmpDialogId = 26,
                          kProGprsDialogId = 36;

class PropertyDialog : public DialogBase {
 public:
  void Init() override;
  // OK: the checks, then the request.
  void Ok();
  void OnReply(const ReplyView& reply);
  DeviceNode& node() const { return node_; }
  const DeviceNode& sent() const { return copy_; }

 protected:
  PropertyDialog(ConsoleDialogs& env, int resource, uint32_t openDialogId, uint8_t sub, DeviceNode& node,
                 QWidget* owner);
  void OnCancel() override;
  // Fills the copy from the controls, or gives the refusal's message box.
  virtual std::optional<int> Check() = 0;
  // Group and GPRS: nothing changed, nothing sent.
  virtual bool Unchanged() const { return false; }
  virtual std::vector<uint8_t> Payload() const;
  // The confirmed values into the console's node.
  virtual void Apply() = 0;
  virtual void Fill() = 0;
  virtual uint32_t timeoutMs() const { return 5000; }
  QLineEdit* AddEdit(QGridLayout* grid, int row, int labelId, int editId, int maxChars);
  void AddButtons(QGridLayout* grid, int row, std::initializer_list<int> ids);
  // SNMP and local devices: the stop and database boxes (row 7) and the
  // read-only identifier (row 8).
  void AddDeviceRows(QGridLayout* grid);
  // The sub-dialog `resource` over this one; this dialog's OpenDialogId
  // and prefix are the waiting dialog's again when it closes.
  int OpenSubDialog(int resource);

  DeviceNode& node_;
  DeviceNode copy_;
  uint8_t sub_;
  QLineEdit* title_ = nullptr;
  QLineEdit* location_ = nullptr;
  QCheckBox *stop_ = nullptr, *database_ = nullptr;  // devices only
  std::vector<QWidget*> greyed_;  // the buttons a pending request greyed
};

// Group 249 and GPRS 167: title and location.
class GroupPropertyDialog : public PropertyDialog {
 public:
  GroupPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner);

 protected:
  std::optional<int> Check() override;
  bool Unchanged() const override;
  void Apply() override;
  void Fill() override;
  size_t locationChars() const;
};

class SnmpPropertyDialog : public PropertyDialog {
 public:
  SnmpPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner);

 protected:
  std::optional<int> Check() override;
  std::vector<uint8_t> Payload() const override;
  void Apply() override;
  void Fill() override;

 private:
  QLineEdit *ip_ = nullptr, *port_ = nullptr, *community_ = nullptr;
  QComboBox* mib_ = nullptr;
  int mibAtOpening_ = 0;
  uint64_t mask_ = 0;  // the reported mask sent with the change
};

class LocalPropertyDialog : public PropertyDialog {
 public:
  LocalPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner);
  const std::vector<CommTypeChoice>& types() const { return types_; }

 protected:
  std::optional<int> Check() override;
  void Apply() override;
  void Fill() override;
  uint32_t timeoutMs() const override { return 30000; }

 private:
  void TypeChosen();
  QLineEdit* upsId_ = nullptr;
  QComboBox *com_ = nullptr, *baud_ = nullptr, *type_ = nullptr;
  std::vector<CommTypeChoice> types_;
};

// The dialogs in the registry (the selected node of the map) and their
// reply branches; the PLC and Alarm Mask dialogs with them.
void RegisterPropertyDialogs(ConsoleDialogs& env);

}  // namespace lark
