#include "console/dialogs/settings/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"

namespace lark {

AboutDialog::AboutDialog(ConsoleDialogs& env, QWidget* owner) : DialogBase(env, kAboutResource, std::nullopt, owner) {
  auto* layout = new QVBoxLayout(this);
  auto label = [&](int id, const QString& text) {
    auto* l = new QLabel(text, this);
    SetControlId(l, id);
    l->setAccessibleName(text);
    layout->addWidget(l);
  };
  label(1339, kMainTitle);
  label(1250, kConsoleVersionText);
  label(1600, QString::fromStdString(EnglishText(kAboutResource, 1600)));
  auto* ok = new QPushButton(QString::fromStdString(EnglishText(kAboutResource, 1)), this);
  SetControlId(ok, 1);
  ok->setAccessibleName("OK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(1); });
  layout->addWidget(ok);
}

void RegisterAboutDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kAboutResource, [&env](QWidget* owner, intptr_t) {
    AboutDialog d(env, owner);
    return d.Run();
  });
}

}  // namespace lark
