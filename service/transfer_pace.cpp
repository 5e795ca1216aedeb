#include "transfer_pace.h"

void TransferPace::Start(int64_t nowMs) {
  started_ = true;
  markMs_ = nowMs;
  markBytes_ = bytes_ = 0;
}

void TransferPace::Received(int64_t bytesSoFar, int64_t nowMs) {
  bytes_ = bytesSoFar;
  // Enough came since the window began: a fresh window begins here. Bytes
  // are counted when their receiver takes them, so bytes that waited for a
  // busy receiver never count as late.
  if (started_ && bytes_ - markBytes_ >= minimumBytes_) {
    markMs_ = nowMs;
    markBytes_ = bytes_;
  }
}

bool TransferPace::TooSlow(int64_t nowMs) const {
  return started_ && nowMs - markMs_ >= windowMs_ && bytes_ - markBytes_ < minimumBytes_;
}

int64_t TransferPace::MsUntilDue(int64_t nowMs) const {
  if (!started_) return -1;
  const int64_t left = markMs_ + windowMs_ - nowMs;
  return left > 0 ? left : 0;
}
