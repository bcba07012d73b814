// The two loops that turn an HTTP reply body into text, over read callbacks so that the
// rules are tested natively: the text fetch's loop and the install reports' loop.
// Each read contributes only its bytes before the first zero byte, as the servers' text
// replies never hold one. Both loops stop after kMaxReplyBytes bytes, so a server that
// never ends its body cannot hold the installer forever or exhaust its memory.
#pragma once

#include <cstdint>
#include <functional>

#include "CString.h"

// No text reply the installer reads comes near this.
const uint32_t kMaxReplyBytes = 4u * 1024 * 1024;

// Reads up to `wanted` bytes into `buffer` and sets `read`; false when the read failed.
using ReplyReadFn = std::function<bool(char* buffer, uint32_t wanted, uint32_t& read)>;
// Bytes ready to be read without waiting; 0 at the end of the body or on failure.
using ReplyAvailableFn = std::function<uint32_t()>;

// The text fetch's loop: asks how many bytes are available and reads that many, never
// more than 64,999 at once, until a read brings nothing.
CString ReadTextBody(const ReplyAvailableFn& available, const ReplyReadFn& read);

// Whether a report's reply may be used at all: its status is 200, no read of it failed,
// and where it declared a length (declaredLength, null when it has none) exactly that
// many bytes came. A busy server's "503 Service Unavailable" is no version reply, and
// neither is one cut after "OK|2.1.1" of "OK|2.1.10".
bool IsWholeReply(uint32_t status, const char* declaredLength, uint64_t received, bool readFailed);

// The install reports' loop: reads 1024 bytes at a time until a read fails or right
// after the sixth read that brought fewer than 1024 bytes (the empty reads at the end of
// the body count as such).
CString ReadReply(const ReplyReadFn& read);
