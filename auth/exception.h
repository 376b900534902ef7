#pragma once

#include "support/exception.h"

namespace auth {

// Raised by the authorization client.
class c_exception : public ex::c_exception {};

} // namespace auth
