#include "client.h"
#include <gtest/gtest.h>
TEST(ClientSmoke, Links) { EXPECT_STREQ(t95::ErrorText(10061), "connection refused"); }
