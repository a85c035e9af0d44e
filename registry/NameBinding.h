#pragma once
#include <omniORB4/CORBA.h>

// The two name binding calls of the farm, on top of the standard ORB. They
// talk to the name registry (ledgo) over UDP at $LEDGO_HOST (default
// 127.0.0.1), port $LEDGO_PORT (default 20002), waiting 500 ms for an answer
// and sending up to three times.
namespace registry {

// Publishes `obj` under `name` in the name registry (a PUT request). The
// registration key is the reference's endpoint and object key (see
// RegistrationKey), so publishing the same object again, or again after a
// restart on the same endpoint, leaves one entry. Never throws for a
// registry that is down. Returns
//    0  the registry acknowledged the registration (answered its key);
//    1  the registry answered something else: it may not hold the entry;
//   -1  the registry did not answer (three tries);
//   -2  nothing was sent: nil ORB or object, an empty name or one holding
//       ";", a request too long for one datagram, or a $LEDGO_PORT that is
//       no port number.
CORBA::Long bind_service(CORBA::ORB_ptr orb, const char* name, CORBA::Object_ptr obj);

// Looks `name` up and returns the object published under it (never nil).
// An initial reference given on the command line (-ORBInitRef name=...) is
// honoured first, without asking the registry. With `flag` non-zero (the
// farm's callers pass 1) the object found is probed (2 s limit): when it
// plainly no longer exists -- no such object at its server, or a refused
// connection -- its registration is removed (BADSERVICE) and the registry
// asked again; a server that does not answer in time is returned as it is,
// since it may only be paused. With TLS on, a "WorkGroup" whose server does
// not present a workgroup server's certificate (a stranger's registration,
// or a node's certificate) is refused the same way, with a line on stderr
// naming its address. With `flag` 0 the registry's answer is
// returned unprobed. Raises a CORBA system exception: TRANSIENT when the
// registry does not answer, OBJECT_NOT_EXIST when nothing (live) is
// published under the name, BAD_PARAM for an unusable name or a $LEDGO_PORT
// that is no port number.
CORBA::Object_ptr resolve_initial_references2(CORBA::ORB_ptr orb, const char* name, CORBA::Long flag);

}  // namespace registry
