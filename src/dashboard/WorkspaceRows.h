#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "actions/UserActions.h"
#include "settings/Config.h"
#include "state/AppState.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

// The workspaces signed in to, a row each: how the workspace fares, and its buttons. Rows are
// made as workspaces come and hidden when they go; `refresh` rewrites them from the settings
// and the display state.
class WorkspaceRows final : public QWidget {
  public:
    // `tabRoot` holds every control of the window: new rows' buttons join its keyboard order
    // where they are laid out.
    WorkspaceRows(const Config& config, const AppState& state, UserActions& actions,
                  QWidget* tabRoot);

    void refresh();
    // How many rows show.
    qsizetype count() const { return keys_.size(); }

  private:
    void addRow();

    const Config& config_;
    const AppState& state_;
    UserActions& actions_;
    QWidget* tabRoot_;
    QVBoxLayout* column_;
    // A workspace's row: its line and its buttons.
    struct Row {
        QWidget* row;
        QLabel* line;
        QPushButton* signInAgain;  // shown for a workspace Slack signed the user out of
        QPushButton* remove;
    };
    QList<Row> rows_;
    QStringList keys_;  // the workspace of each row that shows, in order
};
