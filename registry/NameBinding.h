#pragma once
#include <omniORB4/CORBA.h>

// The two name binding calls of the farm, on top of the standard ORB. They
// talk to the name registry (ledgo) over UDP at $LEDGO_HOST (default
// 127.0.0.1), port $LEDGO_PORT (default 20002).
namespace farm {

// Publishes `obj` under `name` in the name registry (a PUT request).
// Returns 0 when the registry acknowledged the registration, non-zero when
// it did not answer. Never throws for a registry that is down.
CORBA::Long bind_service(CORBA::ORB_ptr orb, const char* name, CORBA::Object_ptr obj);

// Looks `name` up and returns the object published under it (never nil).
// An initial reference given on the command line (-ORBInitRef name=...) is
// honoured first. Raises a CORBA system exception (TRANSIENT when the
// registry does not answer, OBJECT_NOT_EXIST when nothing is published
// under the name). `flag` is accepted for callers that pass 1.
CORBA::Object_ptr resolve_initial_references2(CORBA::ORB_ptr orb, const char* name, CORBA::Long flag);

}  // namespace farm
