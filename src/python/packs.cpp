// Sheet methods that install the optional packs; each exists only when its pack is built in.
#include "python/args.h"
#include "python/module.h"
#include "python/sheet.h"

#ifdef TABRIX_WITH_URL
#include "url/url_pack.h"
#endif

namespace tabrix::py {
namespace {

#ifdef TABRIX_WITH_URL
PyObject* register_url(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) {
  ExclusiveBorrow b(self);
  if (!b.ok() || !no_args("register_url", nargs, kw)) return nullptr;
  auto status = url::register_on_sheet(b.sheet());
  if (!status) return raise_value_error(status.error().display());
  Py_RETURN_NONE;
}
#endif

}  // namespace

PyMethodDef kSheetPackMethods[] = {
#ifdef TABRIX_WITH_URL
    method<register_url>(
        "register_url",
        "register_url($self)\n--\n\n"
        "Install the twelve URL_* functions on this sheet. Raises ValueError when\n"
        "they are already installed. Does not recalculate."),
#endif
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace tabrix::py
