#include "frame/form.h"

#include "app/app.h"

namespace ks {

Form::Form(App& app, const WindowDesign& design) : app_(app), window_(app.windows().createWindow(design)) {}

}  // namespace ks
