#include "core/builtins_impl.h"

namespace tabrix::builtins {

ScalarResult sum(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult average(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult min(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult max(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult count(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult concat(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult abs(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult round(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult len(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult upper(std::span<const CellValue>, const Registry&) {
  return CellValue();
}
ScalarResult lower(std::span<const CellValue>, const Registry&) {
  return CellValue();
}

}  // namespace tabrix::builtins
