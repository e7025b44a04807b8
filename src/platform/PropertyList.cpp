#include "platform/PropertyList.h"

#include <QXmlStreamReader>

namespace platform {
namespace {

// Nested values deeper than this are refused, so hostile input cannot exhaust the stack.
constexpr int MAX_DEPTH = 64;

class Reader {
  public:
    explicit Reader(const QByteArray& xml) : xml_(xml) {}

    std::optional<QVariantMap> document() {
        if (!nextElement() || xml_.name() != u"plist") return std::nullopt;
        if (!nextElement()) return std::nullopt;
        const std::optional<QVariant> top = value(0);
        if (!top || top->typeId() != QMetaType::QVariantMap) return std::nullopt;
        if (nextElement() || !xml_.isEndElement() || xml_.name() != u"plist") return std::nullopt;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement() || (xml_.isCharacters() && !xml_.isWhitespace())) {
                return std::nullopt;
            }
        }
        if (xml_.hasError()) return std::nullopt;
        return top->toMap();
    }

  private:
    // Moves to the next start or end element; false at the end, on an error, or when
    // non-blank text stands between elements.
    bool nextElement() {
        while (!xml_.atEnd()) {
            switch (xml_.readNext()) {
                case QXmlStreamReader::StartElement:
                    return true;
                case QXmlStreamReader::EndElement:
                    return false;
                case QXmlStreamReader::Characters:
                    if (!xml_.isWhitespace()) return false;
                    break;
                default:
                    break;
            }
        }
        return false;
    }

    // Reads the value whose start element the reader stands on.
    std::optional<QVariant> value(int depth) {
        if (depth > MAX_DEPTH) return std::nullopt;
        const QStringView name = xml_.name();
        if (name == u"dict") return dictionary(depth);
        if (name == u"array") return array(depth);
        if (name == u"true" || name == u"false") {
            const bool truth = name == u"true";
            if (nextElement() || !xml_.isEndElement()) return std::nullopt;
            return truth;
        }
        const QString tag = name.toString();
        const QString text = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (xml_.hasError()) return std::nullopt;
        if (tag == u"string" || tag == u"date") return text;
        if (tag == u"integer") {
            bool ok = false;
            const qint64 number = text.trimmed().toLongLong(&ok);
            return ok ? std::optional<QVariant>(number) : std::nullopt;
        }
        if (tag == u"real") {
            bool ok = false;
            const double number = text.trimmed().toDouble(&ok);
            return ok ? std::optional<QVariant>(number) : std::nullopt;
        }
        if (tag == u"data") {
            const auto decoded = QByteArray::fromBase64Encoding(
                text.simplified().remove(u' ').toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            return decoded ? std::optional<QVariant>(*decoded) : std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<QVariant> dictionary(int depth) {
        QVariantMap map;
        while (nextElement()) {
            if (xml_.name() != u"key") return std::nullopt;
            const QString key = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (xml_.hasError() || !nextElement()) return std::nullopt;
            const std::optional<QVariant> entry = value(depth + 1);
            if (!entry) return std::nullopt;
            map.insert(key, *entry);
        }
        if (xml_.hasError() || !xml_.isEndElement() || xml_.name() != u"dict") return std::nullopt;
        return map;
    }

    std::optional<QVariant> array(int depth) {
        QVariantList list;
        while (nextElement()) {
            const std::optional<QVariant> entry = value(depth + 1);
            if (!entry) return std::nullopt;
            list += *entry;
        }
        if (xml_.hasError() || !xml_.isEndElement() || xml_.name() != u"array") return std::nullopt;
        return list;
    }

    QXmlStreamReader xml_;
};

}  // namespace

std::optional<QVariantMap> readPropertyList(const QByteArray& xml) {
    return Reader(xml).document();
}

}  // namespace platform
