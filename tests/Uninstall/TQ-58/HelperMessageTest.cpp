// The request and reply format at its edges, through a real pipe.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "HelperMessage.h"

namespace {

// Reads one message from a pipe holding text; *rest gets what was left unread.
bool ReadFromPipe(const std::string& text, HelperMessage* out, std::string* rest = nullptr)
{
  int fds[2];
  if (pipe(fds) != 0) return false;
  EXPECT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  const bool ok = ReadHelperMessage(fds[0], out);
  char buf[8192];
  const ssize_t n = read(fds[0], buf, sizeof buf);
  if (rest != nullptr) rest->assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
  close(fds[0]);
  return ok;
}

TEST(HelperMessageTest, RequestAndReplyRoundTrip)
{
  EXPECT_EQ(FormatHelperMessage(MakeUninstallRequest()), "Uninstall=Uninstall\n\n");
  HelperMessage m;
  std::string rest;
  ASSERT_TRUE(ReadFromPipe("Uninstall=Uninstall\nx=a=b\n=\n\nUninstall=Uninstall\n\n", &m, &rest));
  ASSERT_EQ(m.entries.size(), 3u);
  EXPECT_EQ(*GetHelperMessageValue(m, "x"), "a=b");
  EXPECT_EQ(*GetHelperMessageValue(m, ""), "");
  EXPECT_EQ(rest, "Uninstall=Uninstall\n\n") << "a second request is never read";
  ASSERT_TRUE(ReadFromPipe("\n", &m));  // an empty message is a message
  EXPECT_TRUE(m.entries.empty());

  EXPECT_TRUE(IsHelperReplyTrue(MakeHelperReply(true)));
  EXPECT_FALSE(IsHelperReplyTrue(MakeHelperReply(false)));
  ASSERT_TRUE(ParseHelperMessage("reply=TRUE\n\n", &m));
  EXPECT_FALSE(IsHelperReplyTrue(m));
  ASSERT_TRUE(ParseHelperMessage("other=true\n\n", &m));
  EXPECT_FALSE(IsHelperReplyTrue(m));
}

TEST(HelperMessageTest, NotAMessage)
{
  HelperMessage m;
  for (const std::string& text :
       {std::string(), std::string("a=b\n"), std::string("a=b"), std::string("a=b\nno-equals\n\n"),
        std::string("a=\0\n\n", 5), std::string("\0a=b\n\n", 6)}) {
    EXPECT_FALSE(ReadFromPipe(text, &m)) << text.size();
    EXPECT_TRUE(m.entries.empty());
  }
  EXPECT_FALSE(ParseHelperMessage("a=b\n\nmore", &m));
}

TEST(HelperMessageTest, SizeLimitIncludesTheEmptyLine)
{
  HelperMessage m;
  const std::string longest = "a=" + std::string(kHelperMessageLimit - 4, 'x') + "\n\n";
  ASSERT_EQ(longest.size(), kHelperMessageLimit);
  EXPECT_TRUE(ReadFromPipe(longest, &m));
  EXPECT_FALSE(ReadFromPipe("a=x" + longest.substr(2), &m));
  EXPECT_FALSE(ReadFromPipe("a=" + std::string(60000, 'x'), &m));  // never ends: not read to the end
}

}  // namespace
