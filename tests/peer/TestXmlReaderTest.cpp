// The test servers' XML reader: what the scripted server's verdicts on the client's messages rest on
// (a reader that let a forbidden character through would hide the client's encoding faults).
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/TestXmlReader.h"

namespace {

TEST(TestXmlReaderTest, ReadsNamespacesReferencesAndCdataAsTheDocumentMeansThem) {
  const XmlElement root = ParseXml(
      "<?xml version=\"1.0\"?><!-- c --><SyncML xmlns='SYNCML:SYNCML1.1' xmlns:m='syncml:metinf'><Meta><m:Type>text/x-vcard</m:Type>"
      "</Meta><Data>Tom &amp; Jerry &lt;Ltd&gt; &#x263A;&#65;<![CDATA[ <raw> & ]]>end</Data><Empty/></SyncML>");
  EXPECT_EQ(root.name, "SyncML");
  EXPECT_EQ(root.namespaceUri, "SYNCML:SYNCML1.1");
  ASSERT_NE(root.Find("Meta/Type"), nullptr);
  EXPECT_EQ(root.Find("Meta/Type")->namespaceUri, "syncml:metinf");
  EXPECT_EQ(root.Text("Meta/Type"), "text/x-vcard");
  EXPECT_EQ(root.Text("Data"), "Tom & Jerry <Ltd> \xE2\x98\xBA" "A <raw> & end");
  EXPECT_TRUE(root.Has("Empty"));
  EXPECT_FALSE(root.Has("Meta/Data"));
}

TEST(TestXmlReaderTest, RefusesWhatXmlForbids) {
  for (const char* document : {"<a>line\x0Bseparated</a>", "<a><![CDATA[nul \x01 inside]]></a>", "<a>&#11;</a>", "<a>&#x1;</a>",
                               "<a><b></a></b>", "<a>&nbsp;</a>", "<a>unterminated", "<a/><b/>", "<p:a>undeclared</p:a>"}) {
    EXPECT_THROW(ParseXml(document), std::runtime_error) << document;
  }
}

}  // namespace
