#pragma once

#include <QStringList>
#include <QWidget>

#include "actions/UserActions.h"
#include "settings/Config.h"
#include "state/AppState.h"

class QLabel;
class QLineEdit;

// The status text in the user's own words: the format, what it shares of the track playing (of
// a sample track when none plays), and why a format cannot be used. A format is stored when
// its editing ends, if it can be used; one that cannot stays in the field with its reason,
// to be mended.
class FormatRow final : public QWidget {
  public:
    // `background` is the window's, that the reason's text must read on.
    FormatRow(const Config& config, const AppState& state, UserActions& actions,
              const QColor& background);

    // The row's title, to line up with the titles above it.
    QLabel* title() const { return title_; }
    // Shows the stored format, unless the field is being edited or holds one that cannot be
    // used, and what it shares now.
    void refresh();
    // What the size of the row follows: the reason and whether it shows.
    QStringList sizeInputs() const;

  private:
    void showPreview();
    void save();

    const Config& config_;
    const AppState& state_;
    UserActions& actions_;
    QLabel* title_ = nullptr;
    QLineEdit* field_ = nullptr;
    QLabel* preview_ = nullptr;
    QLabel* problem_ = nullptr;
};
