// The corvalis link: an MLT link that drives the effect through the reference
// host. Every frame the chain asks of it is the effect's output frame of the
// same position, rendered (as `corvalis render` renders it) from frames the
// link asks of the producer before it, at any position.
//
// Frames take the effect as the link's properties stood when the frame was
// made; a change of properties sets up new effect instances. Renders of
// several frames at once (a consumer's real_time=-N) each lease an instance
// of their own, and share one cache of source frames, whose lock also keeps
// the producer before the link, which is not thread-safe, to one caller.
#pragma once

#include <framework/mlt.h>

#include <string>

namespace mltlink {

// Registers the link "corvalis" and its description with a repository.
void RegisterServices(mlt_repository repository);

// The repository's constructor of the link.
void* CreateLink(mlt_profile profile, mlt_service_type type, const char* id, const void* arg);

// The plug-in the link loads: $CORVALIS_PLUGIN, else corvalis/corvalis.so
// beside this module (where scripts/install-mlt puts it), else the one this
// build made.
std::string PluginPath();

}  // namespace mltlink
