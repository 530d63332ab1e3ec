// Running totals of the records made, which benchmarks divide by the work done:
// every record counts once when made, growth included, and releasing takes nothing off.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/host_test.h"

namespace {

using AllocationTotalsTest = testing_support::HostTest;

TEST_F(AllocationTotalsTest, CountEveryRecordMadeAndNeverGoDown)
{
    const obclient_counts_t before = obclient_allocation_totals();
    vlm_map_table_t* table = obclient_map_new(8);
    // Seven entries fit eight slots; the eighth grows the table, which makes a new one.
    for (int i = 0; i < 8; ++i)
        obclient_map_insert_string(&table, ("key" + std::to_string(i)).c_str(), obclient_integer(i));
    vlm_list_t* list = obclient_list_new(1);
    obclient_list_append(&list, obclient_integer(1));
    obclient_list_append(&list, obclient_integer(2));
    obclient_map_insert_string(&table, "list", obclient_list_value(list));
    const vlm_data_t original = obclient_map_value(table);
    const vlm_data_t copy = vlm_copy_data(original);
    obclient_free_data(copy);
    obclient_free_data(original);

    const obclient_counts_t after = obclient_allocation_totals();
    EXPECT_EQ(after.strings - before.strings, 18) << "nine keys, each copied once";
    EXPECT_EQ(after.maps - before.maps, 3) << "the table, its growth and the copy";
    EXPECT_EQ(after.lists - before.lists, 3) << "the list, its growth and the copy";
    EXPECT_EQ(after.buffers - before.buffers, 0);
    EXPECT_EQ(after.customs - before.customs, 0);
}

} // namespace
