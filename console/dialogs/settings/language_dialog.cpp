#include "console/dialogs/settings/language_dialog.h"

#include <QGridLayout>
#include <QPushButton>
#include <strings.h>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/language_reload.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"

namespace lark {

namespace {
constexpr uint32_t kLanguageTimeoutMs = 5000, kPageTimeoutMs = 10000;
constexpr int kAskChange = 25;  // [MessageBox]
constexpr int kNamesCombo = 1242;
constexpr uint8_t kLastPage = 20;
constexpr const char* kTables = "Dialog-AlarmManage";
constexpr const char* kOwn = "Dialog-Language";
constexpr std::array<const char*, 4> kManuals = {
    "Corvalune Manager for Windows (English).pdf", "Corvalune Manager for Windows (TChinese).pdf",
    "Corvalune Manager for Windows (SChinese).pdf", "Corvalune Manager for Windows (Russian).pdf"};
}  // namespace

std::vector<int> InstalledLanguages(const std::string& installDir) {
  std::vector<int> out{0};
  for (int i = 1; i < static_cast<int>(kLanguageNames.size()); ++i) {
    const auto folder = FindNoCase(installDir, kLanguageNames[i]);
    if (folder && FindNoCase(*folder, "language.ini")) out.push_back(i);
  }
  return out;
}

bool InstallManual(const std::string& installDir, int index) {
  if (index < 0 || index >= static_cast<int>(kManuals.size())) return false;
  const auto folder = FindNoCase(installDir, kLanguageNames[index]);
  const auto source = folder ? FindNoCase(*folder, kManuals[index]) : std::nullopt;
  const auto bytes = source ? ReadFile(*source) : std::nullopt;
  return bytes && WriteFileAtomic(JoinPath(installDir, "manual.pdf"), *bytes);
}

LanguageDialog::LanguageDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kLanguageResource, kLanguageDialogId, owner) {
  auto* grid = new QGridLayout(this);
  names_ = new QComboBox(this);
  SetControlId(names_, kNamesCombo);
  names_->setAccessibleName("Language");
  grid->addWidget(names_, 0, 0, 1, 2);
  for (int id : {1, 2}) {
    auto* b = new QPushButton(QString::fromStdString(EnglishText(kLanguageResource, id)), this);
    SetControlId(b, id);
    b->setAccessibleName(id == 1 ? "OK" : "Cancel");
    b->setDefault(id == 1);
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Ok() : OnCancel(); });
    grid->addWidget(b, 1, id - 1);
  }
}

void LanguageDialog::Init() {
  names_->clear();
  const std::string& current = env().ctx.settings.service.language;
  for (int i : InstalledLanguages(env().ctx.installDir())) {
    names_->addItem(kLanguageNames[i], i);
    if (strcasecmp(current.c_str(), kLanguageNames[i]) == 0) names_->setCurrentIndex(names_->count() - 1);
  }
}

void LanguageDialog::Ok() {
  const std::string name = names_->currentText().toStdString();
  if (name.empty() || strcasecmp(name.c_str(), env().ctx.settings.service.language.c_str()) == 0) return;
  if (env().ctx.ShowLangMessageBox(this, kAskChange, kMainTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  chosen_ = names_->currentData().toInt();
  if (!Send(kLinkCmdSetLanguage, static_cast<uint8_t>(chosen_), kLanguageTimeoutMs, {})) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

bool LanguageDialog::AskPage(uint8_t sub) {
  if (!Send(kLinkCmdEventTables, sub, kPageTimeoutMs, {})) {
    Stop(kTables, "MSG1");
    return false;
  }
  ShowMessage(kTables, "MSG2");
  return true;
}

void LanguageDialog::Stop(const char* section, const char* key) {
  ShowMessage(section, key);
  for (auto& p : pages_) p.clear();
  EnableControls({1, 2}, true);
}

void LanguageDialog::OnLanguageReply(const ReplyView& reply) {
  if (!reply.success) return Stop(kOwn, "MSG1");
  AskPage(0);
}

void LanguageDialog::OnPageReply(const ReplyView& reply) {
  const uint8_t sub = request().sub;
  const size_t page = sub / 2;
  const size_t bytes = sub % 2 == 0 && page < pages_.size() ? kActionTablePageBytes[page] : 0;
  // Only a whole page of the table asked for counts; anything else ends the chain.
  if (!reply.success || bytes == 0 || reply.frame.size() < 7 + bytes || reply.frame[6] != sub)
    return Stop(kTables, "MSG1");
  pages_[page].assign(reply.frame.begin() + 7, reply.frame.begin() + 7 + static_cast<ptrdiff_t>(bytes));
  if (sub < kLastPage) {
    AskPage(static_cast<uint8_t>(sub + 2));
    return;
  }
  Finish();
}

void LanguageDialog::Finish() {
  ConsoleContext& ctx = env().ctx;
  env().link.session().actionTables = std::move(pages_);
  ShowMessage(kTables, "MSG3");
  ShowMessage(kOwn, "MSG3");
  ctx.settings.service.language = kLanguageNames[static_cast<size_t>(chosen_)];
  ReloadLanguage(ctx);
  // The levels follow the service's tables of the new language, not the folder's files.
  ctx.tables.applyActionTables(ActionTablesFromPages(env().link.session().actionTables));
  InstallManual(ctx.installDir(), chosen_);  // none for the language: the old one stays
  done(1);
}

void LanguageDialog::OnTimedOut() {
  for (auto& p : pages_) p.clear();
  EnableControls({1, 2}, true);
}

void RegisterLanguageDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kLanguageResource, [&env](QWidget* owner, intptr_t) {
    LanguageDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdSetLanguage, kLanguageDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* l = dynamic_cast<LanguageDialog*>(&d)) l->OnLanguageReply(r);
  });
  env.branches.Register(kLinkCmdEventTables, kLanguageDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* l = dynamic_cast<LanguageDialog*>(&d)) l->OnPageReply(r);
  });
}

}  // namespace lark
