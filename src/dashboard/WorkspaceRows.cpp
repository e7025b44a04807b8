#include "dashboard/WorkspaceRows.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"
#include "sync/WorkspaceLines.h"

WorkspaceRows::WorkspaceRows(const Config& config, const AppState& state, UserActions& actions,
                             QWidget* tabRoot)
    : config_(config), state_(state), actions_(actions), tabRoot_(tabRoot) {
    setObjectName(QStringLiteral("workspaceList"));
    column_ = column(this, 4);
}

void WorkspaceRows::refresh() {
    const QList<Workspace> workspaces = config_.workspaces();
    const QList<WorkspaceLine> lines = workspaceLines(workspaces, state_.workspaceStates());
    if (rows_.size() < lines.size()) {
        while (rows_.size() < lines.size()) addRow();
        orderTabsAsLaidOut(tabRoot_);  // the new rows' buttons come before the ones below
    }
    keys_.clear();
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        row.row->setVisible(i < lines.size());
        if (i >= lines.size()) continue;
        row.line->setText(lines[i].text);
        row.signInAgain->setVisible(lines[i].signedOut);
        row.remove->setAccessibleName(QStringLiteral("Remove ") + workspaces[i].title());
        row.signInAgain->setAccessibleName(QStringLiteral("Sign In Again to ") +
                                           workspaces[i].title());
        keys_ += lines[i].key;
    }
}

// One more row at the end of the list. Its Remove button forgets the workspace the row shows
// when clicked, without asking: the others stay, and signing in again brings it back. For a
// workspace Slack signed the user out of, a button beside it signs in to it again.
void WorkspaceRows::addRow() {
    const qsizetype index = rows_.size();
    auto* widget = named(new QWidget, "workspaceRow");
    QHBoxLayout* layout = row();
    widget->setLayout(layout);
    auto* line = named(new ElidedLabel, "workspaceLine");
    line->setFont(systemFont(12));
    layout->addWidget(secondaryLabel(line), 1);
    auto* signInAgain = named(button(QStringLiteral("Sign In Again…")), "signInAgain");
    signInAgain->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(signInAgain, &QPushButton::clicked, &actions_, &UserActions::signIn);
    layout->addWidget(signInAgain);
    auto* remove = named(button(QStringLiteral("Remove")), "removeWorkspace");
    remove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(remove, &QPushButton::clicked, this,
            [this, index] { actions_.removeWorkspace(keys_.value(index)); });
    layout->addWidget(remove);
    column_->addWidget(widget);
    rows_ += {widget, line, signInAgain, remove};
}
