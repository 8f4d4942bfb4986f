// How a row of the step table (step_table.cpp) binds its typed operands to
// the fields of its step's struct: StepRow<T> is built operand by operand,
// and makes the row's parse and write, one walk over the operands each.
// Internal to the scenario room: only step_table.cpp builds rows.

#ifndef DREZ_HOST_SCENARIO_STEP_ROW_H_
#define DREZ_HOST_SCENARIO_STEP_ROW_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "scenario/step_table.h"
#include "simulator/trace.h"

namespace drezhost {

namespace step_row {

// The position of `T` among the alternatives of a variant.
template <typename T, typename... Alternatives>
constexpr std::size_t indexIn(const std::variant<Alternatives...>*) {
  constexpr bool matches[] = {std::is_same_v<T, Alternatives>...};
  for (std::size_t i = 0; i < sizeof...(Alternatives); ++i) {
    if (matches[i]) return i;
  }
  return sizeof...(Alternatives);
}

// "a, b or c"; each word between `quote`s.
std::string listed(const std::vector<const char*>& words, const char* quote);

// One value of an operand, read or written as its arity and kind say.
// readText reads into `text`, whose room is used again.
void readText(WordReader& words, const StepOperand& operand, std::string& text);
int32_t readNumber(WordReader& words, const StepOperand& operand);
void writeText(const std::string& text, LineWriter& line, const StepOperand& operand);

// How a field of each type is read from a word (a repeated field: one more
// of it) and written.
template <typename F>
void readValue(F& field, WordReader& words, const StepOperand& operand) {
  if constexpr (std::is_same_v<F, std::string>) {
    readText(words, operand, field);
  } else if constexpr (std::is_same_v<F, std::optional<std::string>>) {
    readText(words, operand, field.emplace());
  } else if constexpr (std::is_same_v<F, int32_t>) {
    field = readNumber(words, operand);
  } else if constexpr (std::is_same_v<F, std::vector<std::string>>) {
    readText(words, operand, field.emplace_back());
  } else if constexpr (std::is_same_v<F, std::vector<int32_t>>) {
    field.push_back(readNumber(words, operand));
  } else {
    static_assert(!std::is_same_v<F, F>, "no operand reads a field of this type");
  }
}

template <typename F>
bool writeValue(const F& field, LineWriter& line, const StepOperand& operand) {
  if constexpr (std::is_same_v<F, std::string>) {
    writeText(field, line, operand);
  } else if constexpr (std::is_same_v<F, std::optional<std::string>>) {
    if (!field) return false;
    writeText(*field, line, operand);
  } else if constexpr (std::is_same_v<F, int32_t>) {
    line.number(field);
  } else if constexpr (std::is_same_v<F, std::vector<std::string>>) {
    for (const std::string& text : field) writeText(text, line, operand);
  } else if constexpr (std::is_same_v<F, std::vector<int32_t>>) {
    for (int32_t number : field) line.number(number);
  } else {
    static_assert(!std::is_same_v<F, F>, "no operand writes a field of this type");
  }
  return true;
}

template <typename F>
bool isEmpty(const F& field) {
  if constexpr (std::is_same_v<F, std::vector<std::string>> ||
                std::is_same_v<F, std::vector<int32_t>>) {
    return field.empty();
  } else {
    return false;
  }
}

// A text that a rest of the line cannot say and a block of its lines can.
bool needsLines(const std::optional<std::string>& text);

// The lines of a block, by the type of the field that holds them.
void addBlockLine(std::vector<std::string>& lines, const std::string& line);
void addBlockLine(std::optional<std::string>& text, const std::string& line);
void writeBlockLines(const std::vector<std::string>& lines, LineWriter& line);
void writeBlockLines(const std::optional<std::string>& text, LineWriter& line);
void writeBlockLines(const std::vector<Step>& steps, LineWriter& line);

}  // namespace step_row

// One row of the table, for the alternative `T`, built operand by operand;
// each operand is bound to a field of T.
template <typename T>
class StepRow {
 public:
  StepRow(const char* phrase, StepGroup group) {
    constexpr std::size_t index = step_row::indexIn<T>(static_cast<const StepBody*>(nullptr));
    static_assert(index < std::variant_size_v<StepBody>, "a form reads an alternative of StepBody");
    form_.phrase = phrase;
    form_.group = group;
    form_.index = index;
  }

  // An operand bound to `field`.
  template <typename F>
  StepRow& operand(StepOperand operand, F T::*field) {
    Binding binding;
    binding.read = [operand, field](WordReader& words, T& step) {
      step_row::readValue(step.*field, words, operand);
    };
    binding.write = [operand, field](const T& step, LineWriter& line) {
      if (operand.arity == Arity::Several && step_row::isEmpty(step.*field)) return false;
      return step_row::writeValue(step.*field, line, operand);
    };
    binding.isDefault = [field](const T& step) { return step.*field == T{}.*field; };
    if constexpr (std::is_same_v<F, std::optional<std::string>>) {
      binding.onNextLines = [field](const T& step) { return step_row::needsLines(step.*field); };
      binding.startLines = [field](T& step) { step.*field = std::string(); };
    }
    return add(std::move(operand), std::move(binding));
  }

  // A Choice operand: each of its words stands for a value of `field`.
  template <typename F>
  StepRow& choice(StepOperand operand, F T::*field, std::vector<std::pair<const char*, F>> values) {
    operand.kind = OperandKind::Choice;
    operand.choices.clear();
    for (const auto& value : values) operand.choices.push_back(value.first);
    const std::string expected = step_row::listed(operand.choices, "");
    Binding binding;
    binding.read = [expected, values, field](WordReader& words, T& step) {
      const std::string word = words.text(expected);
      for (const auto& value : values) {
        if (word == value.first) {
          step.*field = value.second;
          return;
        }
      }
      throw std::invalid_argument("expected " + expected + ", found '" + shownText(word) + "'");
    };
    binding.write = [values, field](const T& step, LineWriter& line) {
      for (const auto& value : values) {
        if (step.*field == value.second) {
          line.keyword(value.first);
          return true;
        }
      }
      return false;
    };
    binding.isDefault = [field](const T& step) { return step.*field == T{}.*field; };
    return add(std::move(operand), std::move(binding));
  }

  // A field the phrase itself decides ("device router": the kind). The
  // form writes only a step whose field holds `value`.
  template <typename F>
  StepRow& fixed(F T::*field, F value) {
    fixed_.push_back(Fixed{[field, value](T& step) { step.*field = value; },
                           [field, value](const T& step) { return step.*field == value; }});
    return *this;
  }

  // The block the form opens, whose lines go into `field`.
  template <typename F>
  StepRow& block(BlockLines lines, F T::*field, std::vector<const char*> steps = {}) {
    form_.block = lines;
    form_.blockSteps = std::move(steps);
    // No command at all is what "expect no commands" says; an "on" with
    // no change is still a trigger.
    const bool mayBeEmpty = lines == BlockLines::Steps;
    writeBlock_ = [mayBeEmpty, field](const T& step, LineWriter& line) {
      if (!mayBeEmpty && step_row::isEmpty(step.*field)) return false;
      step_row::writeBlockLines(step.*field, line);
      line.end();
      return true;
    };
    if constexpr (std::is_same_v<F, std::vector<Step>>) {
      form_.addStep = [field](StepBody& step, Step inner) {
        (std::get<T>(step).*field).push_back(std::move(inner));
      };
    } else {
      form_.addLine = [field](StepBody& step, const std::string& line) {
        step_row::addBlockLine(std::get<T>(step).*field, line);
      };
    }
    return *this;
  }
  // The block opens only when the Rest operand is missing.
  StepRow& blockWithoutRest() {
    form_.blockWithoutRest = true;
    return *this;
  }

  StepRow& note(const char* note) {
    form_.note = note;
    return *this;
  }

  StepForm done() {
    auto row = std::make_shared<const StepRow>(*this);
    form_.parse = [row](WordReader& words, StepBody& body, bool* opensBlock) {
      // The step of the line before, of the same form, is cleared in place:
      // its texts keep their room for this line's.
      T* held = std::get_if<T>(&body);
      if (held != nullptr) {
        *held = T{};
      } else {
        held = &body.emplace<T>();
      }
      row->read(words, *held, opensBlock);
    };
    form_.write = [row](const StepBody& step, LineWriter& line) {
      return row->write(std::get<T>(step), line);
    };
    return form_;
  }

 private:
  struct Binding {
    std::function<void(WordReader&, T&)> read;  // one value (of a repeated operand: one more)
    std::function<bool(const T&, LineWriter&)> write;
    std::function<bool(const T&)> isDefault;
    // Rest: the value goes on the lines of the block instead; and what
    // it is before the first of them.
    std::function<bool(const T&)> onNextLines;
    std::function<void(T&)> startLines;
  };
  struct Fixed {
    std::function<void(T&)> set;
    std::function<bool(const T&)> holds;
  };

  StepRow& add(StepOperand operand, Binding binding) {
    form_.operands.push_back(std::move(operand));
    bindings_.push_back(std::move(binding));
    return *this;
  }

  // True when the next word is the keyword of an option.
  bool optionNext(WordReader& words) const {
    return std::any_of(form_.operands.begin(), form_.operands.end(),
                       [&](const StepOperand& operand) {
                         return operand.arity == Arity::Option && words.peek(operand.keyword);
                       });
  }

  // Reads into `step`, as a T{} would be.
  void read(WordReader& words, T& step, bool* opensBlock) const {
    for (const Fixed& fixed : fixed_) fixed.set(step);
    *opensBlock = form_.block != BlockLines::None && !form_.blockWithoutRest;
    for (std::size_t i = 0; i < form_.operands.size(); ++i) {
      const StepOperand& operand = form_.operands[i];
      const Binding& binding = bindings_[i];
      switch (operand.arity) {
        case Arity::One:
          binding.read(words, step);
          break;
        case Arity::Rest:
          if (form_.blockWithoutRest && words.done()) {
            *opensBlock = true;
            if (binding.startLines) binding.startLines(step);
          } else {
            binding.read(words, step);
          }
          break;
        case Arity::Optional:
          if (!words.done() && !optionNext(words)) binding.read(words, step);
          break;
        case Arity::Several:
          binding.read(words, step);
          [[fallthrough]];
        case Arity::Any:
          while (!words.done()) binding.read(words, step);
          break;
        case Arity::Option:
          break;
      }
    }
    while (!words.done()) {
      std::size_t i = 0;
      while (i < form_.operands.size() && !(form_.operands[i].arity == Arity::Option &&
                                            words.accept(form_.operands[i].keyword))) {
        ++i;
      }
      if (i < form_.operands.size()) {
        bindings_[i].read(words, step);
      } else {
        std::vector<const char*> keywords;
        for (const StepOperand& operand : form_.operands) {
          if (operand.arity == Arity::Option) keywords.push_back(operand.keyword);
        }
        if (keywords.empty()) words.end();  // throws
        throw std::invalid_argument("expected " + step_row::listed(keywords, "'") + ", found '" +
                                    shownText(words.text("")) + "'");
      }
    }
  }

  bool write(const T& step, LineWriter& line) const {
    for (const Fixed& fixed : fixed_) {
      if (!fixed.holds(step)) return false;
    }
    bool lines = form_.block != BlockLines::None && !form_.blockWithoutRest;
    for (int pass = 0; pass < 2; ++pass) {  // the options after the others
      for (std::size_t i = 0; i < form_.operands.size(); ++i) {
        const StepOperand& operand = form_.operands[i];
        const Binding& binding = bindings_[i];
        const bool option = operand.arity == Arity::Option;
        if (option != (pass == 1)) continue;
        if ((option || operand.arity == Arity::Optional) && binding.isDefault(step)) continue;
        if (binding.onNextLines && binding.onNextLines(step)) {
          lines = true;
          continue;
        }
        if (option) line.keyword(operand.keyword);
        if (!binding.write(step, line)) return false;
      }
    }
    return !lines || writeBlock_(step, line);
  }

  StepForm form_;
  std::vector<Binding> bindings_;
  std::vector<Fixed> fixed_;
  std::function<bool(const T&, LineWriter&)> writeBlock_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_STEP_ROW_H_
