#include "mpris/MprisService.h"
#include "mpris/MprisAdaptors.h"

#include <unistd.h>

const QString TMprisService::ServiceName = QStringLiteral("org.mpris.MediaPlayer2.klangdeck");
const QString TMprisService::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

TMprisService::TMprisService(TForm1 *form, const QDBusConnection &bus) : Bus(bus)
{
    new TMprisRootAdaptor(this, form);
    new TMprisPlayerAdaptor(this, form, bus);
}

TMprisService::~TMprisService()
{
    if (!Name.isEmpty())
        Bus.unregisterService(Name);
    Bus.unregisterObject(ObjectPath);
}

bool TMprisService::Register()
{
    if (!Bus.isConnected() || !Bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    for (const QString &name :
         {ServiceName, ServiceName + QStringLiteral(".instance") + QString::number(getpid())}) {
        if (Bus.registerService(name)) {
            Name = name;
            return true;
        }
    }
    Bus.unregisterObject(ObjectPath);
    return false;
}

std::unique_ptr<TMprisService> TMprisService::StartOnSessionBus(TForm1 *form)
{
    // The program runs as before without a session bus; nothing to report.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    auto service = std::make_unique<TMprisService>(form, bus);
    if (!service->Register())
        return nullptr;
    return service;
}
