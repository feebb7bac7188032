// Each machine's displayer bytes, from the templates assembled at build time.
#include "c64/displayer_template.h"

namespace vantrel {

const DisplayerBytes& DisplayerTemplateFor(Machine machine) {
  switch (machine) {
    case Machine::Ntsc:
      return NtscDisplayerTemplate;
    case Machine::OldNtsc:
      return OldNtscDisplayerTemplate;
    case Machine::Drean:
      return DreanDisplayerTemplate;
    case Machine::Any:
      return AnyDisplayerTemplate;
    case Machine::Pal:
      break;
  }
  return DisplayerTemplate;
}

}  // namespace vantrel
