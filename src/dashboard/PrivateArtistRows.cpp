#include "dashboard/PrivateArtistRows.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"

PrivateArtistRows::PrivateArtistRows(const Config& config, UserActions& actions, QWidget* tabRoot)
    : config_(config), actions_(actions), tabRoot_(tabRoot) {
    setObjectName(QStringLiteral("privateArtists"));
    column_ = column(this, 4);
    auto* title = new QLabel(QStringLiteral("Kept private (their tracks are never shared):"));
    column_->addWidget(title);
}

void PrivateArtistRows::refresh() {
    artists_ = config_.privateArtists();
    if (rows_.size() < artists_.size()) {
        while (rows_.size() < artists_.size()) addRow();
        orderTabsAsLaidOut(tabRoot_);  // the new rows' buttons come before the ones below
    }
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        row.row->setVisible(i < artists_.size());
        if (i >= artists_.size()) continue;
        row.name->setText(artists_[i]);
        row.remove->setAccessibleName(QStringLiteral("Remove ") + artists_[i]);
    }
    setVisible(!artists_.isEmpty());
}

// One more row at the end of the list. Its Remove button shares the artist of the row again.
void PrivateArtistRows::addRow() {
    const qsizetype index = rows_.size();
    auto* widget = named(new QWidget, "privateArtistRow");
    QHBoxLayout* layout = row();
    widget->setLayout(layout);
    auto* name = named(new ElidedLabel, "privateArtist");
    name->setFont(systemFont(12));
    layout->addWidget(secondaryLabel(name), 1);
    auto* remove = named(button(QStringLiteral("Remove")), "removePrivateArtist");
    remove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(remove, &QPushButton::clicked, this,
            [this, index] { actions_.shareArtistAgain(artists_.value(index)); });
    layout->addWidget(remove);
    column_->addWidget(widget);
    rows_ += {widget, name, remove};
}
