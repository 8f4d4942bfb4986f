// One visitor made of several lambdas, one arm per alternative, for
// std::visit: a variant that gains an alternative no arm takes does not
// compile.
//
//   std::visit(Overloaded{[](const A&) { ... }, [](const B&) { ... }}, value);

#ifndef DREZ_HOST_ISOLATION_OVERLOADED_H_
#define DREZ_HOST_ISOLATION_OVERLOADED_H_

namespace drezhost {

template <typename... Arms>
struct Overloaded : Arms... {
  using Arms::operator()...;
};
template <typename... Arms>
Overloaded(Arms...) -> Overloaded<Arms...>;

}  // namespace drezhost

#endif  // DREZ_HOST_ISOLATION_OVERLOADED_H_
