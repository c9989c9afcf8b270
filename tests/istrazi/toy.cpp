// A toy program for the explorer's own tests. main draws a mode and starts
// three workers that do what the mode says, so that each scenario exercises one
// piece of the scheduler: lock ownership, broadcast, deadlock, spurious wake-ups,
// passes through a lock, a critical section raced by stores made without it,
// a wake-up lost after a retest in vain.
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

pthread_mutex_t mutexRand = PTHREAD_MUTEX_INITIALIZER;

// `a` guards `inside`, `maxInside`, `ready` and `wokeEarly`; lock order: `a`
// before `b`, except in the deadlock mode, which breaks it on purpose.
pthread_mutex_t a = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t b = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t cond = PTHREAD_COND_INITIALIZER;  // broadcast once `ready` is set
int inside = 0;     // workers holding `a` in the exclusive mode
int maxInside = 0;  // the most that ever held it at once
int ready = 0;      // set by the broadcaster
int wokeEarly = 0;  // a waiter went on before `ready`
int stored = 0;     // the holder's value, written while it holds `a`

void* crosswise(void* arg) {
  long id = reinterpret_cast<long>(arg);
  pthread_mutex_t* first = id == 0 ? &a : &b;
  pthread_mutex_t* second = id == 0 ? &b : &a;
  pthread_mutex_lock(first);
  pthread_mutex_lock(second);
  pthread_mutex_unlock(second);
  pthread_mutex_unlock(first);
  return nullptr;
}

void* exclusive(void*) {
  pthread_mutex_lock(&a);
  if (++inside > maxInside) maxInside = inside;
  sleep(1);
  --inside;
  pthread_mutex_unlock(&a);
  return nullptr;
}

void* waiter(void* arg) {
  pthread_mutex_lock(&a);
  while (!ready) pthread_cond_wait(&cond, &a);
  pthread_mutex_unlock(&a);
  printf("worker %ld woke\n", reinterpret_cast<long>(arg));
  return nullptr;
}

void* waitsOnce(void*) {
  pthread_mutex_lock(&a);
  if (!ready) pthread_cond_wait(&cond, &a);
  if (!ready) wokeEarly = 1;
  pthread_mutex_unlock(&a);
  return nullptr;
}

void* broadcaster(void*) {
  sleep(1);
  pthread_mutex_lock(&a);
  ready = 1;
  pthread_cond_broadcast(&cond);
  pthread_mutex_unlock(&a);
  return nullptr;
}

// Passes through `a` and prints what it sees once past: a holder may still
// be inside or already gone, and another passer before or after it.
void* passer(void* arg) {
  long id = reinterpret_cast<long>(arg);
  pthread_mutex_lock(&a);
  pthread_mutex_unlock(&a);
  printf("worker %ld passed\n", id);
  pthread_mutex_lock(&a);
  int seen = stored;
  pthread_mutex_unlock(&a);
  printf("worker %ld saw %d\n", id, seen);
  return nullptr;
}

void* holder(void*) {
  pthread_mutex_lock(&a);
  stored = 1;
  printf("holder stored\n");
  stored = 2;
  pthread_mutex_unlock(&a);
  return nullptr;
}

// Reads `first` and `second` in one critical section while another worker
// stores both, in that order, without the lock: a data race. Only with a
// point between the two loads can the reader see `second` stored and `first`
// not, which the race judge must make up for.
int first = 0, second = 0;

void* guardedReader(void*) {
  pthread_mutex_lock(&a);
  int x = first;
  int y = second;
  pthread_mutex_unlock(&a);
  printf("reader saw %d %d\n", x, y);
  return nullptr;
}

void* unguardedWriter(void*) {
  first = 1;
  second = 1;
  return nullptr;
}

// Two holders go in, the waiter waits for both to leave, and only the first
// to leave broadcasts. The waiter that it wakes while the other is still in
// retests in vain and waits again; then nothing wakes it once the second
// leaves. That lost wake-up shows only if the vain retest comes between the
// two leaves. `a` guards `holding` and `waiting`; everyone waits on `cond`.
int holding = 0;  // holders in
int waiting = 0;  // the waiter has seen both in

void* leavesQuietly(void* arg) {
  long id = reinterpret_cast<long>(arg);
  pthread_mutex_lock(&a);
  ++holding;
  pthread_cond_broadcast(&cond);
  while (!waiting) pthread_cond_wait(&cond, &a);
  --holding;
  if (id == 0) pthread_cond_broadcast(&cond);
  pthread_mutex_unlock(&a);
  return nullptr;
}

void* waitsForBoth(void* arg) {
  pthread_mutex_lock(&a);
  while (holding < 2) pthread_cond_wait(&cond, &a);
  waiting = 1;
  pthread_cond_broadcast(&cond);
  while (holding > 0) pthread_cond_wait(&cond, &a);
  pthread_mutex_unlock(&a);
  printf("worker %ld saw both leave\n", reinterpret_cast<long>(arg));
  return nullptr;
}

void* idle(void*) { return nullptr; }

int main() {
  int mode = rand();
  void* (*const modes[7][3])(void*) = {
      {crosswise, crosswise, idle},
      {exclusive, exclusive, exclusive},
      {waiter, waiter, broadcaster},
      {waitsOnce, idle, broadcaster},
      {passer, passer, holder},
      {guardedReader, unguardedWriter, idle},
      {leavesQuietly, leavesQuietly, waitsForBoth},
  };
  pthread_t threads[3];
  for (long i = 0; i < 3; ++i) pthread_create(&threads[i], nullptr, modes[mode % 7][i], reinterpret_cast<void*>(i));
  for (pthread_t thread : threads) pthread_join(thread, nullptr);
  pthread_exit(nullptr);
}
