#pragma once

#include <QFont>
#include <QHash>
#include <QLabel>
#include <QString>

class QFrame;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// The building blocks of the dashboard.

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
// A push button that Return leaves alone even when it has focus: in this window only the
// default button answers Return.
QPushButton* button(const QString& title);
QFrame* separator();
QHBoxLayout* row(int spacing = 8);
QVBoxLayout* column(QWidget* owner, int spacing);
// Gives a control its field's name, so the window can be inspected by name.
template <typename T>
T* named(T* object, const char* objectName) {
    object->setObjectName(QLatin1String(objectName));
    return object;
}
