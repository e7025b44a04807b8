#pragma once

#include <QFont>
#include <QHash>
#include <QLabel>
#include <QString>
#include <initializer_list>

class QComboBox;
class QFrame;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// The building blocks of the dashboard.

// The least contrast of text, and of a control, against what is behind it (WCAG 2.1 AA).
inline constexpr double TEXT_CONTRAST = 4.5;
inline constexpr double CONTROL_CONTRAST = 3.0;
// The width at which the window's longer texts wrap.
inline constexpr int NOTE_WIDTH = 400;

// A size given for a desktop whose body text is 13 points, scaled to this desktop's body text,
// so the window keeps its proportions next to every other window.
qreal scaled(qreal points);
QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(qreal points, QFont::Weight weight);

// A word-wrapping label never wider than its maximum width. It asks for the height its text
// needs at the width it will really get, so the window fits it exactly.
class WrappingLabel final : public QLabel {
  public:
    explicit WrappingLabel(int maximumWidth);
    int heightForWidth(int width) const override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    mutable QString measuredText_;
    mutable QHash<int, int> heights_;
};

// A one-line label that cuts a too long text at the end with "…" rather than widening the
// window. The text is shown exactly as given, never read as markup.
class ElidedLabel final : public QLabel {
  public:
    ElidedLabel();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent*) override;
};

// `label` in the palette's dimmed text colour.
QLabel* secondaryLabel(QLabel* label);
// A push button that Return and Enter press while it has focus; with the focus elsewhere they
// press the window's default button.
QPushButton* button(const QString& title);
// Makes `box` wide enough to show each of its items whole. Qt sizes a combo box by its items'
// bounding rectangles, which leave out glyphs drawn from a fallback font (an emoji's), cutting
// off the end of such an item's text; the advance of the text counts them.
void fitItems(QComboBox* box);
// Chains the keyboard focus of the controls under `root` in the order they are laid out, top to
// bottom and left to right, whenever they were made.
void orderTabsAsLaidOut(QWidget* root);
QFrame* separator();
QHBoxLayout* row(int spacing = 8);
// A row of `widgets` from the leading edge, the rest of the width left empty.
QHBoxLayout* leadingRow(std::initializer_list<QWidget*> widgets);
QVBoxLayout* column(QWidget* owner, int spacing);
// Gives a control its field's name, so the window can be inspected by name.
template <typename T>
T* named(T* object, const char* objectName) {
    object->setObjectName(QLatin1String(objectName));
    return object;
}
