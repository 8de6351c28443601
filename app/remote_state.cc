#include "app/remote_state.h"

#include <QJsonObject>

#include "app/handset_context.h"
#include "ui/remote_control.h"

namespace kestrelio {

void AddHandsetState(RemoteControl& remote, HandsetContext& context) {
  remote.AddStateProvider("own", [&context] {
    return QJsonValue(QJsonObject{
        {"phone_number", QString::fromStdString(context.identity.phone_number)},
        {"user_name", QString::fromStdString(context.identity.user_name)},
        {"device_id", QString::fromStdString(context.device_id.text)},
        {"profile", QString::fromStdString(context.paths.profile_dir)},
    });
  });
  remote.AddStateProvider("battery", [&context] { return QJsonValue(context.battery.percent()); });
}

}  // namespace kestrelio
