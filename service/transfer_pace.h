#pragma once

#include <cstdint>

// Watches the body of one reply arrive and tells when it comes too slowly
// to wait for. A server that falls silent, or that sends a byte now and
// then, would otherwise hold the exchange for as long as it likes: the
// limit on silence alone never passes while bytes trickle in. The rule:
// from the headers on, every `minimumBytes` of the body must arrive within
// `windowMs` of the point where the previous ones were complete.
class TransferPace {
 public:
  TransferPace(int64_t windowMs, int64_t minimumBytes)
      : windowMs_(windowMs), minimumBytes_(minimumBytes) {}

  // The headers are in; the body starts now.
  void Start(int64_t nowMs);
  // `bytesSoFar` of the body have arrived by now.
  void Received(int64_t bytesSoFar, int64_t nowMs);
  // The body has come too slowly: the exchange is to be given up.
  bool TooSlow(int64_t nowMs) const;
  // How long from now until TooSlow can first hold, if nothing more
  // arrives; -1 before the start (nothing to watch yet).
  int64_t MsUntilDue(int64_t nowMs) const;

 private:
  int64_t windowMs_;
  int64_t minimumBytes_;
  bool started_ = false;
  int64_t markMs_ = 0;     // where the current window began
  int64_t markBytes_ = 0;  // bytes received when it began
  int64_t bytes_ = 0;
};
