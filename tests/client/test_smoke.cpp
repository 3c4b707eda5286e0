#include "clienttest.h"
TEST(ClientSmoke, LocalList)
{
    ct::ClientState st;
    st.dir.Write("a.txt", "x");
    st.dir.Write("b.bin", "yy");
    CreateDirectoryA(st.dir.File("sub").c_str(), nullptr);
    SetCurrentDirectoryA(st.dir.path.c_str());
    ct::MainWindow w;
    ASSERT_TRUE(w.wnd);
    t95::RefreshLocal();
    auto names = w.Names(t95::IDC_LLIST);
    for (auto &n : names) printf("[%s]\n", n.c_str());
    ShowWindow(w.wnd, SW_SHOWNORMAL);
    UpdateWindow(w.wnd);
    ct::Pump(300);
    printf("painted\n");
    SetCurrentDirectoryA("C:\\");
}
