#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "actions/UserActions.h"
#include "settings/Config.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

// The artists kept private, a row each with a button that shares the artist again. Hidden while
// there are none; rows are made as artists come and hidden when they go.
class PrivateArtistRows final : public QWidget {
  public:
    // `tabRoot` holds every control of the window: new rows' buttons join its keyboard order
    // where they are laid out.
    PrivateArtistRows(const Config& config, UserActions& actions, QWidget* tabRoot);

    void refresh();
    // How many rows show.
    qsizetype count() const { return artists_.size(); }

  private:
    void addRow();

    const Config& config_;
    UserActions& actions_;
    QWidget* tabRoot_;
    QVBoxLayout* column_;
    // An artist's row: the name and its button.
    struct Row {
        QWidget* row;
        QLabel* name;
        QPushButton* remove;
    };
    QList<Row> rows_;
    QStringList artists_;  // the artist of each row that shows, in order
};
