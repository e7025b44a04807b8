#include "dashboard/Widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>
#include <algorithm>

qreal scaled(qreal points) {
    const qreal body = QApplication::font().pointSizeF();
    return points * (body > 0 ? body : 10.0) / 13.0;
}

QFont systemFont(qreal points, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPointSizeF(scaled(points));
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(qreal points, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(scaled(points));
    font.setWeight(weight);
    return font;
}

WrappingLabel::WrappingLabel(int maximumWidth) {
    setWordWrap(true);
    setMaximumWidth(maximumWidth);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

int WrappingLabel::heightForWidth(int width) const {
    width = std::min(width, maximumWidth());
    // Layouts ask this at every change of any widget in the window, and each answer lays the
    // whole text out anew (rich text then repaints too): keep the answers for the text and
    // font shown.
    if (measuredText_ != text()) {
        heights_.clear();
        measuredText_ = text();
    }
    auto found = heights_.constFind(width);
    if (found == heights_.cend()) found = heights_.insert(width, QLabel::heightForWidth(width));
    return *found;
}

void WrappingLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        heights_.clear();
    }
    QLabel::changeEvent(event);
}

ElidedLabel::ElidedLabel() {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize ElidedLabel::sizeHint() const {
    return {0, std::max(QLabel::sizeHint().height(), fontMetrics().height())};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(Qt::AlignLeft | Qt::AlignVCenter), palette(),
                          isEnabled(), shown, foregroundRole());
}

QLabel* secondaryLabel(QLabel* label) {
    // The placeholder role is the palette's dimmed text colour, in light and dark themes alike.
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QPushButton* button(const QString& title) {
    auto* button = new QPushButton(title);
    button->setAutoDefault(true);
    return button;
}

void fitItems(QComboBox* box) {
    int widest = 0;
    for (int i = 0; i < box->count(); ++i) {
        const int icon = box->itemIcon(i).isNull() ? 0 : box->iconSize().width() + 4;
        widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)) + icon);
    }
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QSize fits = box->style()->sizeFromContents(
        QStyle::CT_ComboBox, &option, QSize(widest, box->fontMetrics().height()), box);
    box->setMinimumWidth(std::max(fits.width(), box->sizeHint().width()));
}

namespace {

// The widgets that take the focus from the keyboard in `layout`, in the order laid out.
void collectTabStops(const QLayout* layout, QList<QWidget*>& stops) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->layout()) collectTabStops(item->layout(), stops);
        QWidget* widget = item->widget();
        if (!widget) continue;
        if (widget->focusPolicy() & Qt::TabFocus) stops += widget;
        if (widget->layout()) collectTabStops(widget->layout(), stops);
    }
}

}  // namespace

void orderTabsAsLaidOut(QWidget* root) {
    QList<QWidget*> stops;
    if (root->layout()) collectTabStops(root->layout(), stops);
    // The chain is a ring that starts at the window: chaining the stops one after the other
    // leaves the first where it was made, which may be last. Hanging them after `root`, for
    // the moment a stop itself, puts them in order from the top.
    const Qt::FocusPolicy policy = root->focusPolicy();
    root->setFocusPolicy(Qt::TabFocus);
    QWidget* previous = root;
    for (QWidget* stop : stops) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
    root->setFocusPolicy(policy);
}
QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QHBoxLayout* leadingRow(std::initializer_list<QWidget*> widgets) {
    QHBoxLayout* layout = row();
    for (QWidget* widget : widgets) layout->addWidget(widget);
    layout->addStretch();
    return layout;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}
