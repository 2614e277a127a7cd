// A client's wait for its reply on one connection's socket alone: the
// socket is made blocking, with receives that give up after
// kReceiveWaitMs, so that the wait and the read are one receive call
// instead of a wait on the whole message queue and a read after it. Every
// other send and receive on such a socket passes MSG_DONTWAIT, so only that
// wait can block.
// Thread rules: none (the socket belongs to its transport's thread).
#pragma once

#include <cstdint>

namespace qd {

// How long one receive may wait: the queue's other messages (timers,
// posted messages) get their turn at least this often while a reply is
// awaited.
inline constexpr int32_t kReceiveWaitMs = 50;

// Makes `fd` blocking with the receive time limit; false when the system
// refuses either (the socket then keeps its blocking mode: the caller makes
// it non-blocking as every other).
bool PrepareReceiveWait(int fd);

}  // namespace qd
