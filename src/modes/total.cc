#include "modes/errors.h"
#include "base/messages.h"
#include "modes/modes.h"
#include "output/names.h"
#include "output/writedos.h"

namespace pdsplit {

void total_dos(Arguments args, double shift, const double* TDOS,
               std::int32_t ngrid, std::int32_t ntcol, Console& console,
               Output& output) {
  if (args.size() >= 3) manarg();
  std::string FILENAME =
      args.size() == 2 ? given_name(args[1]) : std::string(kTotalName);
  refuse_overwriting_input(FILENAME, output);
  console.line(text::kCreatingFile);
  writedos(FILENAME, shift, TDOS, ngrid, ntcol, output);
}

}  // namespace pdsplit
