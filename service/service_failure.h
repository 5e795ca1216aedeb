#pragma once

#include <stdexcept>

// Any failure of an exchange with the service: transport, status, or a
// reply that cannot be read. The operation that makes the exchange catches
// it; no caller tells one cause from another or shows the reason.
class ServiceFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
