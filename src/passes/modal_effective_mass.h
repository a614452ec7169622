// The modal effective mass pass: the first modal effective mass table into
// mem.out, and its rows scaled to pounds mass into fn_mem_386.out.
#pragma once

// Searches the report from its first byte for the modal effective mass table,
// copies it to mem.out, writes its mode rows and total row with the effective
// masses multiplied by 386 to fn_mem_386.out, and rewinds the report, whether
// or not it found the table.
void pass_modal_effective_mass();
