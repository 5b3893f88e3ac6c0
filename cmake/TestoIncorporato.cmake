# cmake -DINGRESSO=FILE -DUSCITA=FILE.cpp -P TestoIncorporato.cmake
# Writes a C++ source whose function korva::reportPredefinito() gives the bytes of INGRESSO:
# the default layout report, compiled into the program so that it needs no data file.
file(READ "${INGRESSO}" esadecimale HEX)
string(LENGTH "${esadecimale}" lunghezza)
set(righe "")
set(inizio 0)
while(inizio LESS lunghezza)
  string(SUBSTRING "${esadecimale}" ${inizio} 40 pezzo)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" pezzo "${pezzo}")
  string(APPEND righe "    \"${pezzo}\"\n")
  math(EXPR inizio "${inizio} + 40")
endwhile()
file(WRITE "${USCITA}.tmp"
"// Written by the build from report/struttur.rpt.\n"
"#include \"dictionary/report_predefinito.h\"\n\n"
"namespace korva {\n\n"
"namespace {\n"
"constexpr char kTesto[] =\n${righe}    \"\";\n"
"}\n\n"
"std::string_view reportPredefinito()\n{\n    return {kTesto, sizeof(kTesto) - 1};\n}\n\n"
"}  // namespace korva\n")
file(COPY_FILE "${USCITA}.tmp" "${USCITA}" ONLY_IF_DIFFERENT)
file(REMOVE "${USCITA}.tmp")
