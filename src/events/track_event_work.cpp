#include "events/track_event_work.h"

namespace ombrix {

// A reporting work is never described: it would only repeat its own document.
void TrackEventWork::Describe(boost::property_tree::ptree&) const {}

}  // namespace ombrix
