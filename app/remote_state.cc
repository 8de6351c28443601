#include "app/remote_state.h"

#include <QJsonArray>
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
  remote.AddStateProvider("survey_triggers", [&context] {
    QJsonArray set;
    for (const Event& trigger : context.survey_triggers) set.append(trigger.IsSet());
    return QJsonValue(set);
  });
  remote.AddStateProvider("battery", [&context] { return QJsonValue(context.battery.percent()); });
}

}  // namespace kestrelio
