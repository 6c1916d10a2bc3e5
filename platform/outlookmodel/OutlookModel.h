// Entry points of the object model: registration of its programmatic identifiers with an
// ObjectFactory, and direct creation of its Application object on a given profile.
#pragma once

#include <string>

#include "platform/automation/Dispatch.h"
#include "platform/automation/ObjectFactory.h"

namespace outlookmodel {

// Registers "Outlook.Application", "Outlook.Application.12" and "Outlook.Application.14". Each
// creation opens the profile at ProfileStore::DefaultPath() (read when the object is created)
// and fails with kInvalidClassString while LARK_OUTLOOK_NOT_INSTALLED is set to anything but
// "" or "0", as on a machine without the application.
void RegisterOutlookModel(ObjectFactory& factory);

// A factory holding every provider linked into the program.
ObjectFactory MakeDefaultObjectFactory();

// Whether the environment lets the application appear installed (see RegisterOutlookModel).
bool IsOutlookModelInstalled();

// A new Application object on the profile at `profilePath`, regardless of the environment.
// Every object reached from it shares its profile connection and keeps it open while it lives.
Dispatch::Ptr CreateOutlookApplication(const std::string& profilePath);

}  // namespace outlookmodel
