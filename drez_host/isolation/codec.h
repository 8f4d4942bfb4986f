// The one codec across the child process. Every value that crosses it (a
// task with its settings, to a child started as a new process; each message
// the child sends; each answer of the parent; the summary in the shared
// memory) is one frame: four bytes of length, least significant first, then
// the value as CBOR, written and read by nlohmann-json. CBOR is binary, so a
// text crosses byte for byte whatever it holds (a line break, a NUL, bytes
// that are not UTF-8).
//
// A variant crosses as its alternative's name and value, so a frame never
// depends on the order of the alternatives.
//
// Threading: none; plain functions.

#ifndef DREZ_HOST_ISOLATION_CODEC_H_
#define DREZ_HOST_ISOLATION_CODEC_H_

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

#include "isolation/child_messages.h"
#include "isolation/task.h"

namespace drezhost {

// The largest frame read: a longer one is no frame of drez-host's.
constexpr std::size_t kFrameLimit = std::size_t{64} << 20;
// The bytes in front of a frame's value.
constexpr std::size_t kFrameHead = 4;

// A frame that does not read as the value it should hold.
class CodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The frame of `value`. T is ChildMessage, Answer or TaskOrder.
template <typename T>
std::string encodeFrame(const T& value);

// Reads the frame that starts at `at` in `buffer` and moves `at` past it;
// nothing while `buffer` holds no whole frame there yet. Throws CodecError
// for a frame that does not read (`at` is moved past it all the same) or
// whose length is over kFrameLimit (`at` stays: nothing after it can be
// trusted). The caller drops what it has read from `buffer` when it likes.
template <typename T>
std::optional<T> takeFrame(const std::string& buffer, std::size_t& at);

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_CODEC_H_
