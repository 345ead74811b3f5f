#include "frame/form.h"

#include "app/app.h"

namespace ks {

Form::Form(App& app, const WindowSpec& spec) : app_(app), window_(app.windows().createWindow(spec)) {}

}  // namespace ks
