// The configuration file dialogs besides the download: Open UMF (150) asks
// the map list and has the service open one map, then downloads it; Save
// (151) saves the service's map, or under a new name; New UMF (152) makes
// an empty map; Auto-Load UMF (164) picks the map the service loads at start.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "console/dialogs/session/config_download.h"

class QComboBox;
class QLineEdit;

namespace lark {

inline constexpr int kOpenUmfResource = 150, kSaveUmfResource = 151, kNewUmfResource = 152,
                     kAutoLoadUmfResource = 164;
inline constexpr uint32_t kOpenUmfDialogId = 0, kSaveUmfDialogId = 2, kNewUmfDialogId = 3, kAutoLoadUmfDialogId = 4;

class OpenUmfDialog : public ConfigDownloadDialog {
 public:
  OpenUmfDialog(ConsoleDialogs& env, QWidget* owner);
  void Open();
  void OnMapList(const ReplyView& reply);
  void OnOpened(const ReplyView& reply);
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void MapLoaded() override;
  void OnCancel() override;

 private:
  QComboBox* list_;  // 1290
};

// Save and New: one name typed in edit 1002.
class MapNameDialog : public DialogBase {
 public:
  MapNameDialog(ConsoleDialogs& env, int resource, uint32_t openDialogId, QWidget* owner);
  QLineEdit* edit() const { return edit_; }
  virtual void Ok() = 0;

 private:
  QLineEdit* edit_;  // 1002
};

class SaveUmfDialog : public MapNameDialog {
 public:
  SaveUmfDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok() override;
  void OnSaved(const ReplyView& reply);
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void OnCancel() override;

 private:
  bool renameAs_ = false;
  std::string sent_;  // the name of the request out
};

class NewUmfDialog : public MapNameDialog {
 public:
  NewUmfDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok() override;
  void OnCreated(const ReplyView& reply);
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void OnCancel() override;

 private:
  std::string sent_;
};

class AutoLoadUmfDialog : public DialogBase {
 public:
  AutoLoadUmfDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok();
  void OnSet(const ReplyView& reply);
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void OnCancel() override;

 private:
  QComboBox* list_;   // 1290
  QLabel* startup_;   // 1292
};

// The openers of 150, 151, 152 and 164 and their reply branches.
void RegisterUmfDialogs(ConsoleDialogs& env);

}  // namespace lark
