// Managed-object notifications become "com.orbel.tessaro.ManagedObject" events:
// platform fragments move to the event's field names and the position is split
// into numeric coordinates and other entries.
#pragma once

#include <memory>

#include <boost/optional.hpp>

#include "codec/orbel_message_builder.h"
#include "connectivity/values/list_t.h"

namespace com::velmora::connectivity::plugins::pulsar {

class ManagedObjectBuilder : public OrbelMessageBuilder {
public:
    // Each field with the key it had in the notification.
    ManagedObjectBuilder(MapEntry&& id, MapEntry&& name, MapEntry&& type);

    // Writes the list under key when it holds only strings (or nothing); otherwise hands it back untouched.
    boost::optional<cv::list_t> setStringList(cv::list_t&& list, const cv::StaticString& key);
    // Consumes the position: numeric entries go to payload "position" (only when
    // there is one); the other entries are returned.
    cv::map_t splitPosition(cv::map_t& position);
};

std::unique_ptr<OrbelMessageBuilder> createManagedObjectBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
