// XmlNode crosses module boundaries: its layout is fixed on both builds.
#include <gtest/gtest.h>

#include <cstddef>

#include "cutil/xml.h"

namespace {

TEST(XmlLayout, FieldsInTheirFixedOrder) {
    constexpr std::size_t p = sizeof(void*);
    EXPECT_EQ(0u, offsetof(XmlNode, name));
    EXPECT_EQ(p, offsetof(XmlNode, text));
    EXPECT_EQ(2 * p, offsetof(XmlNode, attribute_count));
    EXPECT_EQ(4u, sizeof(XmlNode::attribute_count));
    // The attribute pairs follow the count, aligned for pointers.
    EXPECT_EQ(p == 4 ? 12u : 24u, offsetof(XmlNode, attributes));
    EXPECT_EQ(2 * p, sizeof(XmlAttribute));
    EXPECT_EQ(offsetof(XmlNode, attributes) + 64 * p, offsetof(XmlNode, next_sibling));
    EXPECT_EQ(offsetof(XmlNode, next_sibling) + p, offsetof(XmlNode, first_child));
    EXPECT_EQ(offsetof(XmlNode, first_child) + p, offsetof(XmlNode, parent));
    EXPECT_EQ(offsetof(XmlNode, parent) + p, sizeof(XmlNode));
    if (p == 4) {
        EXPECT_EQ(268u, offsetof(XmlNode, next_sibling));
        EXPECT_EQ(280u, sizeof(XmlNode));
    }
}

}  // namespace
