/* Attaching a simulated reader, which the C surface leaves to the platform: for the C program. */
#ifndef ORVANE_TEST_SIM_ATTACH_H
#define ORVANE_TEST_SIM_ATTACH_H

#ifdef __cplusplus
extern "C" {
#endif

/* Attaches a simulated "vk210" or "vk640" with a population of tags; 0 for an unknown model. */
int sim_attach(const char* model);
/* Detaches it again. */
void sim_detach(void);

#ifdef __cplusplus
}
#endif

#endif
