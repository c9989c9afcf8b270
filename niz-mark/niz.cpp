// niz-mark: ten workers over one shared array, one lock and a deletion mark.
//
// Every access to the array, its length and the mark happens under `mutex`. The
// mark `brisDeo` holds the index of the deletion admitted last and is set back
// to -1 whenever a deletion finishes. A read or a deletion whose index is at or
// below the mark waits (reads on `cond0`, deletions on `cond2`), because a
// deletion in progress may move that element; appends never wait. So a deletion
// is admitted beside another exactly when its index is above the mark, and it
// then raises the mark to its own index; whichever deletion finishes first
// resets the mark and wakes every waiter, although another may still run.
//
// The length is tested once, on arrival, before any wait. A deletion that finds,
// after its pause, that its index is no longer below the length moves nothing,
// leaves the length alone and reports failure, so the length never goes below
// 0 and no element is lost.

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr int BROJ_RADNIKA = 10;

// `mutex` must be held when using any of these.
pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
int32_t niz[100] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // live elements: 0 .. duzinaNiza-1
int32_t duzinaNiza = 9;  // number of live elements
int32_t brisDeo = -1;    // index of the deletion admitted last; -1 once a deletion finishes
pthread_cond_t cond0 = PTHREAD_COND_INITIALIZER;  // reads wait here for the mark to drop
pthread_cond_t cond1 = PTHREAD_COND_INITIALIZER;  // the appends'; broadcast, never waited on
pthread_cond_t cond2 = PTHREAD_COND_INITIALIZER;  // deletions wait here for the mark to drop

// Every draw from `rand` is taken under `mutexRand`, so draws never race. The
// generator is never seeded: every run draws the same sequence.
pthread_mutex_t mutexRand = PTHREAD_MUTEX_INITIALIZER;

int izvuci() {
  pthread_mutex_lock(&mutexRand);
  int broj = rand();
  pthread_mutex_unlock(&mutexRand);
  return broj;
}

// Set by main when a worker could not be started; read by the exit handler.
std::atomic<bool> radnikNijePokrenut{false};

enum Naredba { CITANJE = 0, DODAVANJE = 1, BRISANJE = 2, NISTA = 3 };
const char* const NAZIVI[3] = {"Citanje", "Dodavanje na kraj", "Brisanje"};

void ispisi(const char* faza, long id, Naredba naredba, int a) {
  printf("%s: Radnik %ld naredba %s - %d\n", faza, id, NAZIVI[naredba], a);
}

void pauza() { sleep(izvuci() % 3 + 1); }

// Caller holds `mutex` and has seen a below the length; each operation releases it.

void citanje(long id, int a) {
  // A deletion at or above our index may be moving our element; the broadcast
  // of the deletion that finishes and resets the mark ends the wait.
  while (a <= brisDeo) pthread_cond_wait(&cond0, &mutex);
  pthread_mutex_unlock(&mutex);
  pauza();
  pthread_mutex_lock(&mutex);
  int32_t broj = niz[a];  // not tested again: the slot's live value at some moment of the read
  pthread_mutex_unlock(&mutex);
  printf("USPEH: Radnik %ld naredba Citanje - %d broj %d\n", id, a, broj);
}

void dodavanje(long id, int a) {
  pthread_mutex_unlock(&mutex);
  pauza();
  pthread_mutex_lock(&mutex);
  niz[duzinaNiza] = a;
  duzinaNiza++;
  pthread_cond_broadcast(&cond1);
  pthread_mutex_unlock(&mutex);
  ispisi("USPEH", id, DODAVANJE, a);
}

void brisanje(long id, int a) {
  // Same wait as a read's: the broadcast of the deletion that resets the mark ends it.
  while (a <= brisDeo) pthread_cond_wait(&cond2, &mutex);
  brisDeo = a;
  pthread_mutex_unlock(&mutex);
  pauza();
  pthread_mutex_lock(&mutex);
  // A deletion admitted beside us may have shrunk the array below our index.
  bool uspeh = a < duzinaNiza;
  if (uspeh) {
    for (int i = a; i < duzinaNiza - 1; ++i) niz[i] = niz[i + 1];
    duzinaNiza--;
  }
  brisDeo = -1;
  pthread_cond_broadcast(&cond0);
  pthread_cond_broadcast(&cond1);
  pthread_cond_broadcast(&cond2);
  pthread_mutex_unlock(&mutex);
  ispisi(uspeh ? "USPEH" : "NEUSPEH", id, BRISANJE, a);
}

void* radnik(void* arg) {
  long id = reinterpret_cast<long>(arg);
  int a = izvuci() % 10;
  Naredba naredba = static_cast<Naredba>(izvuci() % 4);
  if (naredba == NISTA) return nullptr;

  ispisi("ZAHTEV", id, naredba, a);
  sleep(izvuci() % 4);
  ispisi("ZAHTEV", id, naredba, a);

  pthread_mutex_lock(&mutex);
  if (a >= duzinaNiza) {
    pthread_mutex_unlock(&mutex);
    ispisi("NEUSPEH", id, naredba, a);
    return nullptr;
  }
  switch (naredba) {
    case CITANJE: citanje(id, a); break;
    case DODAVANJE: dodavanje(id, a); break;
    default: brisanje(id, a); break;
  }
  return nullptr;
}

// Runs when the last thread ends: the trace must have reached standard output,
// and every worker must have run, or the status is not 0.
void zavrsi() {
  int greska = fflush(stdout) != 0 ? errno : 0;
  bool upisan = greska == 0 && !ferror(stdout);
  if (!upisan)
    fprintf(stderr, "niz-mark: cannot write the trace: %s\n",
            greska != 0 ? strerror(greska) : "write error");
  if (!upisan || radnikNijePokrenut.load(std::memory_order_relaxed)) _exit(1);
}

int main() {
  atexit(zavrsi);
  for (long i = 0; i < BROJ_RADNIKA; ++i) {
    pthread_t nit;
    int greska = pthread_create(&nit, nullptr, radnik, reinterpret_cast<void*>(i));
    if (greska != 0) {
      fprintf(stderr, "niz-mark: cannot start worker %ld: %s\n", i, strerror(greska));
      radnikNijePokrenut.store(true, std::memory_order_relaxed);
    }
  }
  // The process ends, through the exit handler, when the last worker ends.
  pthread_exit(nullptr);
}
