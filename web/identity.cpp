#include "identity.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QNetworkInterface>
#include <QXmlStreamWriter>

namespace {

bool wildcard(const QHostAddress &address)
{
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
           address == QHostAddress::AnyIPv6;
}

QString written(const QHostAddress &address)
{
    const QString text = address.toString();
    return address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + text + ']' : text;
}

} // namespace

QJsonObject Identity::message() const
{
    return {{"identity", QJsonObject{{"manufacturer", QString::fromUtf8(board.manufacturer)},
                                     {"model", QString::fromUtf8(board.model)},
                                     {"serial", QString::fromUtf8(board.name)},
                                     {"firmware", QString::fromUtf8(board.firmware)},
                                     {"host", QHostInfo::localHostName()},
                                     {"addresses", QJsonArray::fromStringList(addresses)},
                                     {"resources", QJsonArray::fromStringList(resources)}}}};
}

QByteArray Identity::lxiDocument() const
{
    const QString page = addresses.value(0);
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace("http://www.lxistandard.org/InstrumentIdentification/1.0");
    xml.writeStartElement("LXIDevice");
    xml.writeTextElement("Manufacturer", QString::fromUtf8(board.manufacturer));
    xml.writeTextElement("Model", QString::fromUtf8(board.model));
    xml.writeTextElement("SerialNumber", QString::fromUtf8(board.name));
    xml.writeTextElement("FirmwareRevision", QString::fromUtf8(board.firmware));
    xml.writeTextElement("ManufacturerDescription", QString::fromUtf8(board.model) +
                                                        " audio amplifier evaluation board panel");
    xml.writeTextElement("HomepageURL", page);
    xml.writeTextElement("UserDescription", QString::fromUtf8(board.model + ' ' + board.name));
    xml.writeTextElement("IdentificationURL", page + "lxi/identification");
    xml.writeStartElement("Interface");
    xml.writeAttribute("InterfaceType", "LXI");
    xml.writeAttribute("InterfaceName", QHostInfo::localHostName());
    for (const QString &resource : resources + addresses) {
        xml.writeTextElement("InstrumentAddressString", resource);
    }
    xml.writeEndElement();
    xml.writeTextElement("Domain", "0");
    xml.writeTextElement("LXIVersion", "1.5");
    xml.writeEndDocument();
    return document;
}

QStringList reachedAt(const QHostAddress &bound)
{
    if (!wildcard(bound)) {
        return {written(bound)};
    }
    QStringList found;
    QStringList loopback;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        const bool family = bound == QHostAddress::Any || bound.protocol() == address.protocol();
        if (family && !address.isLinkLocal()) {
            (address.isLoopback() ? loopback : found) << written(address);
        }
    }
    return found + loopback;
}
