#include "state/TimeText.h"

#include <QLocale>

QString shortTimeFormat() {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    for (const char* seconds : {":ss", ".ss", ":s", ".s"}) format.remove(QLatin1String(seconds));
    return format;
}

QString shortTimeText(const QTime& time) {
    return QLocale().toString(time, shortTimeFormat());
}
