// Runs f06modes on the bundled example, examples/plate_modes.f06: the NX
// Nastran normal-modes report of a stiffened aluminium plate clamped along one
// edge, eight modes. The console and all seven output files are compared byte
// for byte with what the report's tables give.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "run_program.h"

namespace {

const std::string REPORT = EXAMPLES "/plate_modes.f06";

// Mode number and the CYCLES column of the eigenvalue table, two decimals.
const std::string FN =
    "1 \t    42.17 \n"
    "2 \t    88.53 \n"
    "3 \t   131.62 \n"
    "4 \t   187.24 \n"
    "5 \t   240.89 \n"
    "6 \t   302.44 \n"
    "7 \t   355.77 \n"
    "8 \t   421.31 \n";

// The participation factor table: its heading line, then every line from the
// first mode row to the page header, each copied line followed by " \n".
const std::string PF =
    "                                                     MODAL PARTICIPATION FACTORS\n" " \n"
    "       1    4.217348E+01      5.642880E-04     -1.432192E-04     -3.877018E-01     -5.815527E+00      1.006209E+01     -8.463043E-03\n" " \n"
    "       2    8.852916E+01     -1.661898E-04      6.459605E-04      4.814997E-03     -1.359159E+00     -9.573044E-02      1.739516E-03\n" " \n"
    "       3    1.316204E+02      1.236983E-04      5.758891E-05     -2.070293E-02      3.106740E-01     -4.368907E-01     -7.989306E-04\n" " \n"
    "       4    1.872381E+02     -1.488451E-03     -1.379975E-04      2.147542E-01      3.221313E+00     -1.551199E+00      2.126260E-02\n" " \n"
    "       5    2.408867E+02      8.001432E-03     -5.931480E-04      3.431042E-02     -5.150230E-01      5.838764E-01      3.647572E-02\n" " \n"
    "       6    3.024419E+02     -2.093109E-04      3.037450E-03     -5.562830E-03      8.729554E-01     -3.343999E-02     -4.556984E-02\n" " \n"
    "       7    3.557712E+02      3.583424E-04      1.583072E-03      4.634176E-02     -6.954504E-01     -1.267033E+00      2.278255E-02\n" " \n"
    "       8    4.213058E+02     -2.273944E-03      2.615760E-04     -1.270719E-01     -1.906079E+00      4.525252E-01     -3.132749E-02\n" " \n"
    "\n" " \n";

// The effective mass heading line and the two lines after it, each followed by
// a blank; then the table after the "NO." line and the blank line under it, up
// to the page header, each line followed by " \n".
const std::string MEM =
    "                                                         MODAL EFFECTIVE MASS\n" " "
    "\n" " "
    "    MODE     FREQUENCY               T1                T2                T3                R1                R2                R3\n" " "
    "       1    4.217348E+01      3.184210E-07      2.051173E-08      1.503127E-01      3.382036E+01      1.012457E+02      7.162309E-05\n" " \n"
    "       2    8.852916E+01      2.761904E-08      4.172650E-07      2.318420E-05      1.847312E+00      9.164318E-03      3.025917E-06\n" " \n"
    "       3    1.316204E+02      1.530128E-08      3.316482E-09      4.286114E-04      9.651833E-02      1.908735E-01      6.382901E-07\n" " \n"
    "       4    1.872381E+02      2.215486E-06      1.904331E-08      4.611938E-02      1.037686E+01      2.406218E+00      4.520981E-04\n" " \n"
    "       5    2.408867E+02      6.402291E-05      3.518246E-07      1.177205E-03      2.652487E-01      3.409116E-01      1.330478E-03\n" " \n"
    "       6    3.024419E+02      4.381106E-08      9.226103E-06      3.094508E-05      7.620511E-01      1.118233E-03      2.076610E-03\n" " \n"
    "       7    3.557712E+02      1.284093E-07      2.506117E-06      2.147559E-03      4.836512E-01      1.605372E+00      5.190445E-04\n" " \n"
    "       8    4.213058E+02      5.170823E-06      6.842201E-08      1.614728E-02      3.633138E+00      2.047791E-01      9.814117E-04\n" " \n"
    "\n" " \n"
    "                  TOTAL       7.194278E-05      1.261260E-05      2.163869E-01      5.128514E+01      1.060041E+02      5.434930E-03\n" " \n"
    "\n" " \n"
    "\n" " \n";

// Every effective mass times 386.0 (lbf s^2/in to lbm), the frequency as
// printed: 1.503127E-01 gives 58.0207, 1.012457E+02 gives 39080.8402 (wider
// than its field); the total row comes after an empty line.
const std::string FN_MEM_386 =
    "1 \t    42.17 \t   0.0001 \t   0.0000 \t  58.0207 \t 13054.6590 \t 39080.8402 \t   0.0276 \n"
    "2 \t    88.53 \t   0.0000 \t   0.0002 \t   0.0089 \t 713.0624 \t   3.5374 \t   0.0012 \n"
    "3 \t   131.62 \t   0.0000 \t   0.0000 \t   0.1654 \t  37.2561 \t  73.6772 \t   0.0002 \n"
    "4 \t   187.24 \t   0.0009 \t   0.0000 \t  17.8021 \t 4005.4680 \t 928.8001 \t   0.1745 \n"
    "5 \t   240.89 \t   0.0247 \t   0.0001 \t   0.4544 \t 102.3860 \t 131.5919 \t   0.5136 \n"
    "6 \t   302.44 \t   0.0000 \t   0.0036 \t   0.0119 \t 294.1517 \t   0.4316 \t   0.8016 \n"
    "7 \t   355.77 \t   0.0000 \t   0.0010 \t   0.8290 \t 186.6894 \t 619.6736 \t   0.2004 \n"
    "8 \t   421.31 \t   0.0020 \t   0.0000 \t   6.2329 \t 1402.3913 \t  79.0447 \t   0.3788 \n"
    "\n TOTAL \t\t\t   0.0278 \t   0.0049 \t  83.5253 \t 19796.0640 \t 40917.5826 \t   2.0979 \n";

const std::string MASS_LINE = "\n\n mass =       99.984 lbm\n";  // 2.590000E-01 * 386.04

// The grid point weight generator's MASS AXIS SYSTEM line, its X line and its
// Y line, whose second word is the mass; then the mass line.
const std::string MASS =
    "                          MASS AXIS SYSTEM (S)     MASS              X-C.G.        Y-C.G.        Z-C.G.\n" " \n"
    "                                  X            2.590000E-01      0.000000E+00  1.500000E+01 -6.000000E-01\n" " \n"
    "                                  Y            2.590000E-01      2.000000E+01  0.000000E+00 -6.000000E-01\n" " \n"
    + MASS_LINE;

// What the four passes print between the progress lines and the output list.
const std::string PASSES_CONSOLE =
    "\n ref 1 \n\n"
    "\n " "                                              R E A L   E I G E N V A L U E S\n" " \n"
    "1     42.17 \n"
    "2     88.53 \n"
    "3    131.62 \n"
    "4    187.24 \n"
    "5    240.89 \n"
    "6    302.44 \n"
    "7    355.77 \n"
    "8    421.31 \n"
    "\n ref 2 \n\n"
    "\n in pf \n"
    " " "                                                     MODAL PARTICIPATION FACTORS\n" " "
    " " "       1    4.217348E+01      5.642880E-04     -1.432192E-04     -3.877018E-01     -5.815527E+00      1.006209E+01     -8.463043E-03\n" " "
    " " "       2    8.852916E+01     -1.661898E-04      6.459605E-04      4.814997E-03     -1.359159E+00     -9.573044E-02      1.739516E-03\n" " "
    " " "       3    1.316204E+02      1.236983E-04      5.758891E-05     -2.070293E-02      3.106740E-01     -4.368907E-01     -7.989306E-04\n" " "
    " " "       4    1.872381E+02     -1.488451E-03     -1.379975E-04      2.147542E-01      3.221313E+00     -1.551199E+00      2.126260E-02\n" " "
    " " "       5    2.408867E+02      8.001432E-03     -5.931480E-04      3.431042E-02     -5.150230E-01      5.838764E-01      3.647572E-02\n" " "
    " " "       6    3.024419E+02     -2.093109E-04      3.037450E-03     -5.562830E-03      8.729554E-01     -3.343999E-02     -4.556984E-02\n" " "
    " " "       7    3.557712E+02      3.583424E-04      1.583072E-03      4.634176E-02     -6.954504E-01     -1.267033E+00      2.278255E-02\n" " "
    " " "       8    4.213058E+02     -2.273944E-03      2.615760E-04     -1.270719E-01     -1.906079E+00      4.525252E-01     -3.132749E-02\n" " "
    " " "\n" " "
    "\n ref 3 \n\n"
    "\n find MEM \n"
    " " "                                                         MODAL EFFECTIVE MASS\n" " "
    "\n ref 4 \n\n"
    " " "                          MASS AXIS SYSTEM (S)     MASS              X-C.G.        Y-C.G.        Z-C.G.\n" " "
    " " "                                  X            2.590000E-01      0.000000E+00  1.500000E+01 -6.000000E-01\n" " "
    " " "                                  Y            2.590000E-01      2.000000E+01  0.000000E+00 -6.000000E-01\n" " "
    + MASS_LINE + "\n\n";

TEST(ExampleReport, GivesTheFrequenciesTablesAndMassOfThePlate) {
    WorkDir dir;
    const RunResult run = run_f06modes(dir.path(), REPORT + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console,
              text_file(console_before_passes(REPORT) + PASSES_CONSOLE + console_after_passes()));

    const std::vector<std::pair<std::string, std::string>> files = {
        {"fn.out", FN},   {"mass.out", MASS}, {"mem.out", MEM},
        {"pf.out", PF},   {"fn_mem.out", ""}, {"fn_mem_u.out", ""},
        {"fn_mem_386.out", FN_MEM_386}};
    for (const auto &[name, expected] : files)
        EXPECT_EQ(dir.read(name), text_file(expected)) << name;
}

}  // namespace
