/* The routines of the test library OrderUser, which needs OrderBase. */
void OrderBase_Note(int step);
long long OrderBase_Steps(void);

void ZD_InitOrderUser(void) { OrderBase_Note(3); }
void ZD_EndOrderUser(void) { OrderBase_Note(4); }
int ZD_OrderSteps(void) { return (int)OrderBase_Steps(); }
