#pragma once

#include <QByteArray>
#include <QVariantMap>
#include <optional>

namespace platform {

// Reads an XML property list whose top level is a dictionary. Values become QVariant: string
// and date as QString, integer as qint64, real as double, true/false as bool, data as
// QByteArray, array as QVariantList, dict as QVariantMap. Strict: anything malformed (bad XML,
// an unknown element, a key without a value, an integer that does not fit, text outside a
// value, more than one top-level value) gives none.
std::optional<QVariantMap> readPropertyList(const QByteArray& xml);

}  // namespace platform
