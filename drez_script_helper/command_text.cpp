#include "command_text.h"

#include <charconv>

CommandPiece CommandPiece::number(int32_t value) {
  CommandPiece piece;
  piece.length_ = static_cast<std::size_t>(
      std::to_chars(piece.digits_, piece.digits_ + sizeof piece.digits_, value).ptr -
      piece.digits_);
  return piece;
}
