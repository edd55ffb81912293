#include "core/builtins.h"
#include "core/builtins_impl.h"

namespace tabrix {

std::weak_ordering compare_cell_values(const CellValue&, const CellValue&) {
  return std::weak_ordering::equivalent;
}

namespace builtins {

ArrayResult if_(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}
ArrayResult sequence(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}
ArrayResult transpose(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}
ArrayResult filter(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}
ArrayResult sort(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}
ArrayResult unique(std::span<const ArrayValue>, const Registry&) {
  return ArrayValue();
}

}  // namespace builtins
}  // namespace tabrix
